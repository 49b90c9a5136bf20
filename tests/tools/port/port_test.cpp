// velkar-port on pty pairs and files. A pty carries bytes whatever its speed, but both ends see
// the one termios record, so the receiver's side can behave as a UART would: while the line is
// set to the receiver's speed it sends NMEA with valid checksums, at any other speed line noise
// (random bytes). list and use must find the receiver's speed by listening alone.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include "platform/posix/serial_probe.h"
#include "platform/posix/serial_source.h"

namespace fs = std::filesystem;

namespace {

std::string Sentence(const std::string& body)
{
    unsigned sum = 0;
    for (unsigned char c : body) sum ^= c;
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + body + tail;
}

// A receiver at `speed` (0: one that only ever sends noise) on the master side of a pty.
struct Receiver {
    int master = -1, slave = -1;
    std::string path;
    std::atomic<bool> running{true};
    std::thread talker;
    explicit Receiver(speed_t speed)
    {
        char name[256] = {};
        termios t{};
        cfmakeraw(&t);
        if (openpty(&master, &slave, name, &t, nullptr) != 0) return;
        path = name;
        fcntl(master, F_SETFL, O_NONBLOCK);  // nobody may be listening: a full line drops bytes
        talker = std::thread([this, speed] {
            std::mt19937 noise(7);
            const std::string nmea = Sentence("GPGGA,120000,4420.924,N,01143.050,E,1,5,1.69,30,M,47,M,,") +
                                     Sentence("GPVTG,054.7,T,,M,005.5,N,010.2,K");
            while (running) {
                termios line{};
                tcgetattr(master, &line);  // the slave's record: the speed the listener has set
                std::string bytes = nmea;
                if (speed == 0 || cfgetospeed(&line) != speed)
                    for (char& c : bytes) c = static_cast<char>(noise());
                if (write(master, bytes.data(), bytes.size()) < 0 && errno != EAGAIN) break;
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }
    ~Receiver()
    {
        running = false;
        if (talker.joinable()) talker.join();
        close(master), close(slave);
    }
};

struct PortRun { int status; std::string out, err; };
PortRun Port(const std::string& args, const std::string& prefix = "")
{
    char errPath[] = "/tmp/velkar-port-err-XXXXXX";
    close(mkstemp(errPath));
    FILE* p = popen((prefix + VELKAR_PORT_PATH + " " + args + " 2>" + errPath).c_str(), "r");
    std::string out;
    for (char b[512]; std::fgets(b, sizeof b, p) != nullptr;) out += b;
    const int status = pclose(p);
    std::stringstream err;
    err << std::ifstream(errPath).rdbuf();
    unlink(errPath);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out, err.str()};
}

struct TempRoot {
    std::string path;
    TempRoot() { char p[] = "/tmp/velkar-port-XXXXXX"; path = mkdtemp(p); }
    ~TempRoot() { fs::remove_all(path); }
    std::string Settings() const { return path + "/My Documents/Velkar/vlcfg.cfg"; }
    std::string Read(const std::string& file) const { std::stringstream s; s << std::ifstream(file).rdbuf(); return s.str(); }
    void Write(const std::string& file, const std::string& text) const
    {
        fs::create_directories(fs::path(file).parent_path());
        std::ofstream(file) << text;
    }
};
const std::string kKept = "[BEGIN][1][4800][1][0][1][1][1][1][0][0][0][END]";  // emulation, audio, track, log, proximity

TEST(VelkarPort, ListFindsTheSpeedByListening)
{
    const struct { speed_t receiver; const char* says; } rows[] = {
        {B4800, "NMEA at 4800 bit/s: GGA VTG"}, {B38400, "NMEA at 38400 bit/s: GGA VTG"},
        {B115200, "NMEA at 115200 bit/s: GGA VTG"},
        {0, "no NMEA with valid checksums at 4800 9600 19200 38400 57600 115200 bit/s"}};
    for (const auto& r : rows) {
        Receiver receiver(r.receiver);
        const PortRun run = Port("list " + receiver.path + " --listen 200");
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_NE(run.out.find(receiver.path + "\n  by-id:   none\n  access:  read and write\n"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find(std::string("  sends:   ") + r.says + "\n"), std::string::npos) << run.out;
    }
    // Held by another opener: who, and no probing. A missing device: exit 2.
    Receiver receiver(B9600);
    const int held = OpenTtyExclusive(receiver.path);
    const PortRun busy = Port("list " + receiver.path + " --listen 200");
    EXPECT_NE(busy.out.find("held by: port_test (pid " + std::to_string(getpid()) + ")"), std::string::npos) << busy.out;
    EXPECT_NE(busy.out.find("sends:   not probed: busy: held by port_test"), std::string::npos) << busy.out;
    close(held);
    const PortRun missing = Port("list /dev/velkar-no-such-tty");
    EXPECT_TRUE(missing.status == 2 && missing.err == "velkar-port: /dev/velkar-no-such-tty: no such device\n") << missing.err;
}

TEST(VelkarPort, UseWritesTheEntryAndTwoSettingsKeepingTheOtherSeven)
{
    Receiver receiver(B19200);
    TempRoot root;
    root.Write(root.Settings(), kKept);
    root.Write(root.path + "/dev/COM2", "tcp://old:1\n");  // replaced by the link, atomically
    PortRun run = Port("use " + receiver.path + " --com 2 --listen 200 --root " + root.path);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(fs::read_symlink(root.path + "/dev/COM2"), receiver.path);
    EXPECT_EQ(root.Read(root.Settings()), "[BEGIN]\n[2]\n[19200]\n[1]\n[0]\n[1]\n[1]\n[1]\n[1]\n[0]\n[0]\n[0]\n[END]\n");
    // --baud: no listening. A network source: a one-line file, the baud rate kept; the root's
    // folders are made on a fresh root, the missing settings file starts from zeros.
    run = Port("use " + receiver.path + " --baud 4800 --root " + root.path);
    EXPECT_TRUE(run.status == 0 && root.Read(root.Settings()).rfind("[BEGIN]\n[1]\n[4800]\n[1]\n", 0) == 0) << run.err;
    TempRoot fresh;
    fs::remove(fresh.path);
    run = Port("use gpsd://127.0.0.1 --com 5 --root " + fresh.path);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(root.Read(fresh.path + "/dev/COM5"), "gpsd://127.0.0.1\n");
    EXPECT_EQ(root.Read(fresh.Settings()), "[BEGIN]\n[5]\n[0]\n[0]\n[0]\n[0]\n[0]\n[0]\n[0]\n[0]\n[0]\n[0]\n[END]\n");
    EXPECT_TRUE(fs::is_directory(fresh.path + "/Scheda di memoria/Velkar"));
}

TEST(VelkarPort, FailuresSayOneLineExitTwoAndChangeNothing)
{
    Receiver noise(0);
    const struct { std::string args, error; } rows[] = {
        {"use tcp://host", "'tcp://host' is not tcp://HOST:PORT or gpsd://HOST[:PORT]"},
        {"use /dev/velkar-no-such-tty", "/dev/velkar-no-such-tty: no such device"},
        {"use /dev/null", "/dev/null: not a serial device; nothing changed"},
        {"use " + noise.path + " --listen 100",
         noise.path + ": no NMEA with valid checksums at 4800 9600 19200 38400 57600 115200 bit/s; give the speed with --baud B"},
        {"use tcp://h:1 --com 6", "--com needs a port number 1 to 5 (use only), not '6'"},
        {"use tcp://h:1 --baud 12345", "--baud needs a speed a serial port takes, such as 4800 or 9600, not '12345'"},
        {"use", "use needs one DEVICE, tcp://HOST:PORT or gpsd://HOST[:PORT]"},
        {"move tcp://h:1", "unknown command 'move' (try --help)"},
        {"use tcp://h:1 SAVE-FAILS", ""},  // the settings save fails: the old entry comes back
    };
    for (const auto& r : rows) {
        TempRoot root;
        root.Write(root.Settings(), kKept);
        root.Write(root.path + "/dev/COM1", "tcp://old:1\n");
        std::string args = r.args, error = r.error, prefix;
        if (args.find("SAVE-FAILS") != std::string::npos) {
            // The entry's rename goes through; the settings' rename, the second, fails.
            args = "use tcp://h:1";
            // (LeakSanitizer cannot run under ptrace: off for this row in sanitizer builds.)
            prefix = "ASAN_OPTIONS=\"$ASAN_OPTIONS:detect_leaks=0\" "
                     "strace -f -qq -o /dev/null -e trace=renameat -e inject=renameat:error=EIO:when=2 ";
            error = "cannot write " + root.Settings() + "; nothing changed";
        }
        const PortRun run = Port(args + " --root " + root.path, prefix);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_EQ(run.err, "velkar-port: " + error + "\n") << args;
        EXPECT_EQ(root.Read(root.path + "/dev/COM1"), "tcp://old:1\n") << args;
        EXPECT_EQ(root.Read(root.Settings()), kKept) << args;
    }
}

#ifdef VELKAR_PATH
// The navigator's first run on a root that does not exist yet makes its folders, so that
// Main > Exit can save and velkar-port has its dev/ entry.
TEST(FirstRun, NavigatorCreatesTheRootsFolders)
{
    TempRoot root;
    fs::remove(root.path);
    const std::string run = std::string("QT_QPA_PLATFORM=offscreen ") + VELKAR_PATH + " --root '" + root.path +
                            "/new' --time-scale 1000 --quit-after-ticks 1 >/dev/null 2>&1";
    EXPECT_EQ(std::system(run.c_str()), 0);
    for (const char* folder : {"/new/My Documents/Velkar", "/new/Scheda di memoria/Velkar", "/new/dev"})
        EXPECT_TRUE(fs::is_directory(root.path + folder)) << folder;
}
#endif

TEST(ValidNmeaLine, ChecksumsAndTypes)
{
    const struct { std::string line; int valid; const char* type; } rows[] = {
        {Sentence("GPGGA,1,2"), 1, "GGA"}, {Sentence("GNVTG,,T,,M,0.1,N,0.2,K,A"), 1, "VTG"},
        {Sentence("PUBX,00,1"), 1, "PUBX"}, {"$GPGGA,1,2*00\r\n", 0, ""}, {"$GPGGA,1,2*4\r\n", 0, ""},
        {"GPGGA,1,2*41", 0, ""}, {"$G*47", 0, ""}, {"$GPGGA,1\x01,2*40", 0, ""}};
    for (const auto& r : rows) {
        std::string type;
        EXPECT_EQ(ValidNmeaLine(r.line, &type), r.valid) << r.line;
        EXPECT_EQ(type, r.type) << r.line;
    }
}

}  // namespace
