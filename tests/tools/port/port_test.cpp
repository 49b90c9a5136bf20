// velkar-port on pty pairs and files. A pty carries bytes whatever its speed, but both ends see the one
// termios record, so the receiver's side can behave as a UART would: at the receiver's speed it sends NMEA
// with valid checksums, at any other speed line noise. list and use must find the speed by listening alone.
// Then beside other writers of the same root: the navigator's Exit, a program holding the root's lock,
// kill -9, entries that are links or FIFOs, a running navigator taking the new receiver, a gpsd on tcp://.
#include <atomic>

#include "platform/files.h"
#include "platform/posix/serial_probe.h"
#include "platform/posix/serial_source.h"
#include "platform/root_lock.h"
#include "store/exit_save.h"
#include "store/maps.h"
#include "store/settings.h"

#include "../tool_support.h"

namespace {

using namespace tool_test;
const std::string kPort = VELKAR_BINARY_DIR "/tools/velkar-port ";
// Emulation, audio, track, log and proximity on.
const std::string kKept = "[BEGIN][1][4800][1][0][1][1][1][1][0][0][0][END]";

// A receiver at `speed` (0: one that only ever sends noise) on the master side of a pty; a silent one is a Pty.
struct Receiver : Pty {
    std::atomic<bool> running{true};
    std::thread talker;
    explicit Receiver(speed_t speed)
    {
        fcntl(master, F_SETFL, O_NONBLOCK);  // nobody may be listening: a full line drops bytes
        talker = std::thread([this, speed] {
            std::mt19937 noise(7);
            const std::string nmea = Sentence("GPGGA,120000,4420.924,N,01143.050,E,1,5,1.69,30,M,47,M,,") +
                                     Sentence("GPVTG,054.7,T,,M,005.5,N,010.2,K");
            for (termios line{}; running; std::this_thread::sleep_for(std::chrono::milliseconds(20))) {
                tcgetattr(master, &line);  // the slave's record: the speed the listener has set
                std::string bytes = nmea;
                if (speed == 0 || cfgetospeed(&line) != speed)
                    for (char& c : bytes) c = static_cast<char>(noise());
                if (write(master, bytes.data(), bytes.size()) < 0 && errno != EAGAIN) break;
            }
        });
    }
    ~Receiver() { running = false, talker.join(); }
};

// A root holding the kept settings and a COM1 entry.
struct KeptRoot : Root {
    KeptRoot() : Root(kKept) { fs::create_directories(dir + "/dev"), std::ofstream(dir + "/dev/COM1") << "tcp://old:1\n"; }
};

TEST(VelkarPort, ListFindsTheSpeedByListening)
{
    const struct { speed_t receiver; const char* says; } rows[] = {  // the first and the last speed tried
        {B4800, "NMEA at 4800 bit/s: GGA VTG"}, {B115200, "NMEA at 115200 bit/s: GGA VTG"},
        {0, "no NMEA with valid checksums at 4800 9600 19200 38400 57600 115200 bit/s"}};
    for (const auto& r : rows) {
        Receiver receiver(r.receiver);
        const Outcome run =
            Expect(kPort + "list " + receiver.slavePath + " --listen 200", 0, std::string("  sends:   ") + r.says + "\n");
        EXPECT_HAS(run.output, receiver.slavePath + "\n  by-id:   none\n  access:  read and write\n");
    }
    // Held by another opener: who, and no probing. A missing device: exit 2.
    Receiver receiver(B9600);
    const int held = OpenTtyExclusive(receiver.slavePath);
    const Outcome busy = Shell(kPort + "list " + receiver.slavePath + " --listen 200");
    close(held);
    EXPECT_HAS(busy.output, "held by: port_test (pid " + std::to_string(getpid()) + ")");
    EXPECT_HAS(busy.output, "sends:   not probed: busy: held by port_test");
    EXPECT_EQ(Expect(kPort + "list /dev/velkar-no-such-tty", 2).output, "velkar-port: /dev/velkar-no-such-tty: no such device\n");
}

TEST(VelkarPort, UseWritesTheEntryAndTwoSettingsKeepingTheOtherSevenAndNeverTheEntrysTarget)
{
    Receiver receiver(B19200);
    KeptRoot root;
    std::ofstream(root.dir + "/dev/COM2") << "tcp://old:1\n";  // replaced by the link, atomically
    Expect(kPort + "use " + receiver.slavePath + " --com 2 --listen 200" + root.Tail(), 0);
    EXPECT_EQ(fs::read_symlink(root.dir + "/dev/COM2"), receiver.slavePath);
    EXPECT_EQ(Slurp(root.Settings()), "[BEGIN]\n[2]\n[19200]\n[1]\n[0]\n[1]\n[1]\n[1]\n[1]\n[0]\n[0]\n[0]\n[END]\n");
    Expect(kPort + "use " + receiver.slavePath + " --baud 4800" + root.Tail(), 0);  // --baud: no listening
    EXPECT_EQ(Slurp(root.Settings()).rfind("[BEGIN]\n[1]\n[4800]\n[1]\n", 0), 0u);
    // A network source on a root not made yet: a one-line entry, the folders made, the missing settings
    // file started from zeros.
    const std::string fresh = root.dir + "/fresh";
    Expect(kPort + "use gpsd://127.0.0.1 --com 5 --root " + fresh, 0);
    EXPECT_EQ(Slurp(fresh + "/dev/COM5"), "gpsd://127.0.0.1\n");
    EXPECT_EQ(Slurp(fresh + kVelkarDir + "vlcfg.cfg"), "[BEGIN]\n[5]\n[0]\n[0]\n[0]\n[0]\n[0]\n[0]\n[0]\n[0]\n[0]\n[0]\n[END]\n");
    EXPECT_TRUE(fs::is_directory(fresh + "/Scheda di memoria/Velkar"));
    // The entry, a link to the plugged receiver, a dangling link or a FIFO (no hang), is replaced itself.
    for (const std::string kind : {"plugged", "dangling", "fifo"}) {
        SCOPED_TRACE(kind);
        KeptRoot other;
        const std::string entry = other.dir + "/dev/COM1", gone = other.Path("unplugged/ttyUSB9");
        fs::remove(entry);
        if (kind == "plugged" || kind == "dangling") fs::create_symlink(kind == "plugged" ? receiver.slavePath : gone, entry);
        if (kind == "fifo") mkfifo(entry.c_str(), 0600);
        Expect("timeout 20 " + kPort + "use gpsd://localhost" + other.Tail(), 0);
        EXPECT_FALSE(fs::is_symlink(entry));
        EXPECT_EQ(Slurp(entry), "gpsd://localhost\n");
        EXPECT_FALSE(fs::exists(gone)) << "nothing is created where a link pointed";
        EXPECT_EQ(CountNamed(other.dir + "/dev", ".tmp-"), 0);
    }
}

TEST(VelkarPort, FailuresSayOneLineExitTwoAndChangeNothing)
{
    Receiver noise(0);
    // The settings are written first: strace fails their rename, or the entry's flush after them (the third
    // fsync, after the settings' file and folder), and the settings are put back. (LeakSanitizer cannot run
    // under ptrace: it is off for these rows in sanitizer builds.)
    const std::string strace = "ASAN_OPTIONS=\"$ASAN_OPTIONS:detect_leaks=0\" strace -f -qq -o /dev/null -e inject=";
    const struct { std::string prefix, args, error; } rows[] = {
        {"", "use tcp://host", "'tcp://host' is not tcp://HOST:PORT or gpsd://HOST[:PORT]"},
        {"", "use /dev/velkar-no-such-tty", "/dev/velkar-no-such-tty: no such device"},
        {"", "use /dev/null", "/dev/null: not a serial device; nothing changed"},
        {"", "use " + noise.slavePath + " --listen 100",
         noise.slavePath + ": no NMEA with valid checksums at 4800 9600 19200 38400 57600 115200 bit/s; give the speed with --baud B"},
        {"", "use tcp://h:1 --com 6", "--com needs a port number 1 to 5 (use only), not '6'"},
        {"", "use tcp://h:1 --baud 12345", "--baud needs a speed a serial port takes, such as 4800 or 9600, not '12345'"},
        {"", "use", "use needs one DEVICE, tcp://HOST:PORT or gpsd://HOST[:PORT]"},
        {"", "move tcp://h:1", "unknown command 'move' (try --help)"},
        {strace + "renameat:error=EIO:when=1 ", "use tcp://h:1", "cannot write ROOT" + kVelkarDir + "vlcfg.cfg; nothing changed"},
        {strace + "fsync:error=EIO:when=3 ", "use tcp://h:1", "cannot write ROOT/dev/COM1 (Input/output error); nothing changed"},
    };
    for (const auto& r : rows) {
        KeptRoot root;
        std::string error = r.error;
        if (error.find("ROOT") != std::string::npos) error.replace(error.find("ROOT"), 4, root.dir);
        EXPECT_EQ(Expect(r.prefix + kPort + r.args + " --root " + root.dir, 2).output, "velkar-port: " + error + "\n");
        EXPECT_EQ(Slurp(root.dir + "/dev/COM1"), "tcp://old:1\n") << r.args;
        EXPECT_EQ(Slurp(root.Settings()), kKept) << r.args;
    }
}

// What the listening counts as NMEA: a valid checksum, and the sentence's type ("" when not valid).
TEST(ValidNmeaLine, ChecksumsAndTypes)
{
    const struct { std::string line; const char* type; } rows[] = {
        {Sentence("GPGGA,1,2"), "GGA"}, {Sentence("GNVTG,,T,,M,0.1,N,0.2,K,A"), "VTG"}, {Sentence("PUBX,00,1"), "PUBX"},
        {"$GPGGA,1,2*00\r\n", ""}, {"$GPGGA,1,2*4\r\n", ""}, {"GPGGA,1,2*41", ""}, {"$G*47", ""}, {"$GPGGA,1\x01,2*40", ""}};
    for (const auto& r : rows) {
        std::string type;
        EXPECT_EQ(ValidNmeaLine(r.line, &type), *r.type != 0) << r.line;
        EXPECT_EQ(type, r.type) << r.line;
    }
}

// A temporary left by a run killed before its rename (pid 0 is never a process's), five minutes old.
void PlantLeftover(const std::string& path, const std::string& text)
{
    std::ofstream(path) << text;
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::minutes(5));
}

// velkar-port's use (the settings first, then the entry) beside other writers. The navigator turned its log
// switch off and saves on Exit meanwhile: in either order both changes are in the file (20 races, the start
// shifted). Killed with -9 at any moment: never an entry without its settings; the next run removes what the
// kills left and a temporary surely left by a dead run.
TEST(SharedRoot, ExitAtOnceKeepsBothChangesAKillNeverLeavesAnEntryWithoutItsSettings)
{
    Root root(kKept);
    const std::string use = kPort + "use tcp://127.0.0.1:1 --com 2 --baud 9600 --root " + root.dir;
    std::mt19937 random(16);
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        std::ofstream(root.Settings()) << kKept;
        SetDeviceRoot(root.dir);
        ASSERT_EQ(LoadSettings(), 1);
        LoadMapCatalogue();
        settings.enableLog = 0;
        const int delayUs = static_cast<int>(random() % 30000);
        const pid_t navigator = fork();
        if (navigator == 0) usleep(delayUs), _exit(SaveChangedSettings() == 1 ? 0 : 1);
        Expect(use, 0);
        int status = -1;
        waitpid(navigator, &status, 0);
        EXPECT_EQ(status, 0);
        EXPECT_EQ(Slurp(root.Settings()), "[BEGIN]\n[2]\n[9600]\n[1]\n[0]\n[1]\n[1]\n[0]\n[1]\n[0]\n[0]\n[0]\n[END]\n");
    }
    for (int i = 0; i < 25; ++i) {
        SCOPED_TRACE(i);
        std::ofstream(root.Settings()) << kKept;
        fs::remove(root.dir + "/dev/COM2");
        KillAfter(use, random() % 8000, SIGKILL);
        const std::string text = Slurp(root.Settings());
        EXPECT_TRUE(text == kKept || text.rfind("[BEGIN]\n[2]\n[9600]\n", 0) == 0) << text;
        EXPECT_TRUE(!fs::exists(root.dir + "/dev/COM2") || text != kKept) << "an entry without its settings";
    }
    PlantLeftover(root.dir + "/dev/COM2.tmp-velkar-port-0-0123456789abcdef", "tcp://lost:1\n");
    Expect(use, 0);
    EXPECT_EQ(CountNamed(root.dir + "/dev", ".tmp-"), 0);
    EXPECT_EQ(CountNamed(root.dir + kVelkarDir, ".tmp-"), 0);
}

// While another program holds the root's lock, velkar-port and velkar-points (at once) wait 10 s, then say who
// holds it and change nothing.
TEST(SharedRoot, ASecondWriterWaitsThenSaysWhoHoldsTheRoot)
{
    Root root(kKept);
    SetDeviceRoot(root.dir);
    const int lock = LockDeviceRoot(1000, "velkar-map", nullptr);
    ASSERT_GE(lock, 0);
    std::ofstream(root.Path("a.gpx")) << "<gpx><wpt lat=\"44.3\" lon=\"11.7\"><name>Alfa</name></wpt></gpx>\n";
    const std::string points = root.Path("points.log"), holder = "velkar-map " + std::to_string(getpid());
    const pid_t importing =
        Background(VELKAR_BINARY_DIR "/tools/velkar-points import " + Quote(root.Path("a.gpx")) + root.Tail(), points);
    const Outcome run = Expect(kPort + "use tcp://127.0.0.1:1 --root " + root.dir, 2);
    int status = -1;
    waitpid(importing, &status, 0);
    UnlockDeviceRoot(lock);
    EXPECT_EQ(run.output,
              "velkar-port: the device root " + root.dir + " is held by " + holder + " (waited 10 s); nothing changed\n");
    EXPECT_EQ(Slurp(root.Settings()), kKept);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << Slurp(points);
    EXPECT_HAS(Slurp(points), "are being changed by " + holder + " (waited 10 s); try again when it has finished");
    EXPECT_FALSE(fs::exists(root.File("vlpref.cfg")));
}

// A running navigator names the gpsd its COM1 greets with (gpsd 3.25's first line), takes the receiver
// velkar-port points COM2 at within 2 s, then notices the entry relinked alone (same port, same speed).
TEST(SharedRoot, ARunningNavigatorNamesGpsdAndTakesTheNewReceiverWithinTwoSeconds)
{
    Pty first, second;  // silent receivers
    TcpServer server;
    std::thread greeter([&server] {
        if (server.Accept(6000))
            server.Send("{\"class\":\"VERSION\",\"release\":\"3.25\",\"rev\":\"3.25\",\"proto_major\":3,\"proto_minor\":15}\r\n");
    });
    Root root("[BEGIN][1][4800][0][0][0][0][0][0][0][0][0][END]");  // emulation and the rest off
    fs::create_directories(root.dir + "/dev");
    std::ofstream(root.dir + "/dev/COM1") << "tcp://127.0.0.1:" << server.port << "\n";
    const std::string leftover = root.File("vlcfg.cfg.tmp-velkar-0-0123456789abcdef");
    PlantLeftover(leftover, "[BEGIN]");  // the navigator's start removes it
    const std::string log = root.Path("velkar.log"), tail = " --com 2 --baud 9600 --root " + root.dir;
    const pid_t navigator =
        Background("env QT_QPA_PLATFORM=offscreen " + kVelkar + root.Tail() + " --time-scale 3 --quit-after-ticks 8 -v", log);
    const auto says = [&log](const std::string& text, int ms) {
        return WaitUntil([&] { return Slurp(log).find(text) != std::string::npos; }, ms);
    };
    const bool named = says("this is gpsd: use gpsd://127.0.0.1:" + std::to_string(server.port), 5000);
    greeter.join();
    ASSERT_TRUE(named) << Slurp(log);
    Expect(kPort + "use " + second.slavePath + tail, 0, "a navigator runs on " + root.dir + ": it takes the new receiver within 2 s");
    const bool took = says("reopened " + root.dir + "/dev/COM2", 2000);
    Expect(kPort + "use " + first.slavePath + tail, 0);
    const bool relinked = says("COM2: " + root.dir + "/dev/COM2 was replaced; reopening the receiver", 2000);
    waitpid(navigator, nullptr, 0);
    EXPECT_TRUE(took) << Slurp(log);
    EXPECT_TRUE(relinked) << Slurp(log);
    EXPECT_FALSE(fs::exists(leftover));
    EXPECT_HAS(Slurp(log), "COM1: the settings now name COM2: at 9600 bit/s; reopening the receiver");
    const Outcome alone = Shell(kPort + "use " + second.slavePath + " --baud 9600 --root " + root.dir);  // none runs now
    EXPECT_EQ(alone.output.find("navigator"), std::string::npos) << alone.output;
}

}  // namespace
