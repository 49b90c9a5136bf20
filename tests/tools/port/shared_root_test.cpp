// velkar-port beside other writers of the same device root: the navigator's Exit,
// a second program holding the root's lock, a kill -9 at any moment, and entries
// that are links (plugged or dangling) or FIFOs. Also the running navigator taking
// the new receiver, and a gpsd met on a tcp:// source.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <chrono>
#include <random>
#include <thread>

#include "platform/files.h"
#include "platform/root_lock.h"
#include "store/exit_save.h"
#include "store/maps.h"
#include "store/settings.h"

#include "../tool_support.h"

namespace {

using namespace tool_test;
const std::string kPortTool = VELKAR_BINARY_DIR "/tools/velkar-port";
const std::string kStart = "[BEGIN][1][4800][1][0][1][1][1][1][0][0][0][END]";  // log switch on

struct Pty {
    int master = -1, slave = -1;
    std::string path;
    Pty()
    {
        char name[256] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) path = name;
    }
    ~Pty() { close(master), close(slave); }
};

// Runs a shell command in the background, its output to log; its pid.
pid_t Background(const std::string& command, const std::string& log = "/dev/null")
{
    const pid_t pid = fork();
    if (pid == 0) {
        execl("/bin/sh", "sh", "-c", ("exec " + command + " >" + Quote(log) + " 2>&1").c_str(), nullptr);
        _exit(127);
    }
    return pid;
}

// Files in folder whose names hold text.
int CountNamed(const std::string& folder, const std::string& text)
{
    int n = 0;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(folder, ec)) n += e.path().filename().string().find(text) != std::string::npos;
    return n;
}

TEST(SharedRoot, UseReplacesTheEntryItselfNeverItsTarget)
{
    Pty receiver;
    const struct { const char* name; std::string kind; } rows[] = {
        {"a link to a plugged receiver", "plugged"}, {"a dangling link", "dangling"},
        {"a FIFO (no hang)", "fifo"}, {"a one-line file", "file"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Root root(kStart);
        const std::string entry = root.dir + "/dev/COM1", gone = root.dir + "/unplugged/ttyUSB9";
        fs::create_directories(root.dir + "/dev");
        if (row.kind == "plugged") fs::create_symlink(receiver.path, entry);
        if (row.kind == "dangling") fs::create_symlink(gone, entry);
        if (row.kind == "fifo") mkfifo(entry.c_str(), 0600);
        if (row.kind == "file") std::ofstream(entry) << "tcp://old:1\n";
        const Outcome run = Shell("timeout 20 " + kPortTool + " use gpsd://localhost --root " + root.dir);
        EXPECT_EQ(run.status, 0) << run.output;
        EXPECT_FALSE(fs::is_symlink(entry));
        EXPECT_EQ(Slurp(entry), "gpsd://localhost\n");
        EXPECT_FALSE(fs::exists(gone)) << "nothing is created where a link pointed";
        EXPECT_TRUE(fs::is_character_file(receiver.path));
        EXPECT_EQ(CountNamed(root.dir + "/dev", ".tmp-"), 0);
    }
}

TEST(SharedRoot, ExitAndVelkarPortAtOnceKeepBothChanges)
{
    // The navigator turned its log switch off; velkar-port points COM2 at a source meanwhile.
    // Either order, both changes must be in the file: 20 races with the start shifted.
    std::mt19937 random(16);
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        Root root(kStart);
        SetDeviceRoot(root.dir);
        ASSERT_EQ(LoadSettings(), 1);
        LoadMapCatalogue();
        settings.enableLog = 0;
        const int delayUs = static_cast<int>(random() % 30000);
        const pid_t navigator = fork();
        if (navigator == 0) {
            usleep(delayUs);
            _exit(SaveChangedSettings() == 1 ? 0 : 1);
        }
        const Outcome tool = Shell(kPortTool + " use tcp://127.0.0.1:1 --com 2 --baud 9600 --root " + root.dir);
        int status = -1;
        waitpid(navigator, &status, 0);
        EXPECT_EQ(tool.status, 0) << tool.output;
        EXPECT_EQ(status, 0);
        EXPECT_EQ(Slurp(root.Settings()), "[BEGIN]\n[2]\n[9600]\n[1]\n[0]\n[1]\n[1]\n[0]\n[1]\n[0]\n[0]\n[0]\n[END]\n");
    }
}

TEST(SharedRoot, KilledAtAnyMomentLeavesNoEntryWithoutItsSettingsAndNoLeftovers)
{
    Root root(kStart);
    std::mt19937 random(9);
    for (int i = 0; i < 25; ++i) {
        SCOPED_TRACE(i);
        std::ofstream(root.Settings()) << kStart;
        fs::remove(root.dir + "/dev/COM2");
        const pid_t tool = Background(kPortTool + " use tcp://127.0.0.1:" + std::to_string(1000 + i) +
                                      " --com 2 --baud 9600 --root " + root.dir);
        std::this_thread::sleep_for(std::chrono::microseconds(random() % 8000));
        kill(tool, SIGKILL);
        waitpid(tool, nullptr, 0);
        const std::string text = Slurp(root.Settings());
        EXPECT_TRUE(text == kStart || text.rfind("[BEGIN]\n[2]\n[9600]\n", 0) == 0) << text;
        if (fs::exists(root.dir + "/dev/COM2")) {
            EXPECT_EQ(text.rfind("[BEGIN]\n[2]\n", 0), 0u) << "an entry without its settings";
        }
    }
    // Whatever the kills left, and one surely left by a dead run (pid 0 is never a process's).
    fs::create_directories(root.dir + "/dev");  // every kill may have come before the tool made it
    std::ofstream(root.dir + "/dev/COM2.tmp-velkar-port-0-0123456789abcdef") << "tcp://lost:1\n";
    fs::last_write_time(root.dir + "/dev/COM2.tmp-velkar-port-0-0123456789abcdef",
                        fs::file_time_type::clock::now() - std::chrono::minutes(5));
    ASSERT_EQ(Shell(kPortTool + " use tcp://127.0.0.1:1 --com 2 --baud 9600 --root " + root.dir).status, 0);
    EXPECT_EQ(CountNamed(root.dir + "/dev", ".tmp-"), 0);
    EXPECT_EQ(CountNamed(root.dir + kVelkarDir, ".tmp-"), 0);
}

TEST(SharedRoot, ASecondWriterWaitsThenSaysWhoHoldsTheRoot)
{
    Root root(kStart);
    SetDeviceRoot(root.dir);
    const int lock = LockDeviceRoot(1000, "velkar-map", nullptr);
    ASSERT_GE(lock, 0);
    const Outcome run = Shell(kPortTool + " use tcp://127.0.0.1:1 --root " + root.dir);
    UnlockDeviceRoot(lock);
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.output, "velkar-port: the device root " + root.dir + " is held by velkar-map " +
                              std::to_string(getpid()) + " (waited 10 s); nothing changed\n");
    EXPECT_EQ(Slurp(root.Settings()), kStart);
}

// Runs the navigator on root with -v for about `seconds`, in the background, its output to log.
pid_t StartNavigator(const Root& root, int seconds, const std::string& log)
{
    return Background("env QT_QPA_PLATFORM=offscreen " + kVelkar + " --root " + Quote(root.dir) +
                          " --time-scale 3 --quit-after-ticks " + std::to_string(seconds) + " -v",
                      log);
}

// Waits up to ms for text to appear in the file; how long it took, or -1.
long WaitFor(const std::string& file, const std::string& text, long ms)
{
    const auto start = std::chrono::steady_clock::now();
    for (;;) {
        const long waited = static_cast<long>(
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
        if (Slurp(file).find(text) != std::string::npos) return waited;
        if (waited > ms) return -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

TEST(SharedRoot, ARunningNavigatorTakesTheNewReceiverWithinTwoSeconds)
{
    Pty first, second;
    Root root("[BEGIN][1][4800][0][0][0][0][0][0][0][0][0][END]");
    fs::create_directories(root.dir + "/dev");
    fs::create_symlink(first.path, root.dir + "/dev/COM1");
    // A save of an earlier run killed before its rename (pid 0 is never a process's): the start removes it.
    const std::string leftover = root.dir + kVelkarDir + "vlcfg.cfg.tmp-velkar-0-0123456789abcdef";
    std::ofstream(leftover) << "[BEGIN]";
    fs::last_write_time(leftover, fs::file_time_type::clock::now() - std::chrono::minutes(5));
    const std::string log = root.dir + "/velkar.log";
    const pid_t navigator = StartNavigator(root, 8, log);
    ASSERT_GE(WaitFor(log, "opened " + root.dir + "/dev/COM1", 5000), 0) << Slurp(log);
    const Outcome tool = Shell(kPortTool + " use " + second.path + " --com 2 --baud 9600 --root " + root.dir);
    const long took = WaitFor(log, "reopened " + root.dir + "/dev/COM2", 4000);
    // Only the entry changes (same port, same speed): the link's replacement is noticed.
    const Outcome relink = Shell(kPortTool + " use " + first.path + " --com 2 --baud 9600 --root " + root.dir);
    const long relinked = WaitFor(log, "COM2: " + root.dir + "/dev/COM2 was replaced; reopening the receiver", 4000);
    waitpid(navigator, nullptr, 0);
    EXPECT_EQ(relink.status, 0) << relink.output;
    EXPECT_GE(relinked, 0) << Slurp(log);
    EXPECT_LE(relinked, 2000) << Slurp(log);
    EXPECT_EQ(tool.status, 0) << tool.output;
    EXPECT_NE(tool.output.find("a navigator runs on " + root.dir + ": it takes the new receiver within 2 s"),
              std::string::npos) << tool.output;
    EXPECT_GE(took, 0) << Slurp(log);
    EXPECT_LE(took, 2000) << Slurp(log);
    EXPECT_FALSE(fs::exists(leftover));
    EXPECT_NE(Slurp(log).find("COM1: the settings now name COM2: at 9600 bit/s; reopening the receiver"), std::string::npos)
        << Slurp(log);
    // Nobody runs now: the tool says nothing of a navigator.
    EXPECT_EQ(Shell(kPortTool + " use " + second.path + " --baud 9600 --root " + root.dir).output.find("navigator"),
              std::string::npos);
}

TEST(SharedRoot, AGpsdOnATcpSourceIsNamed)
{
    // A listener that greets as gpsd does (its first line, from gpsd 3.25 on this machine).
    const int server = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    socklen_t size = sizeof address;
    getsockname(server, reinterpret_cast<sockaddr*>(&address), &size);
    listen(server, 4);
    const int port = ntohs(address.sin_port);
    std::thread greeter([server] {
        pollfd waiting{server, POLLIN, 0};
        const int client = poll(&waiting, 1, 6000) == 1 ? accept(server, nullptr, nullptr) : -1;
        const std::string banner = "{\"class\":\"VERSION\",\"release\":\"3.25\",\"rev\":\"3.25\",\"proto_major\":3,"
                                   "\"proto_minor\":15}\r\n";
        if (client >= 0 && write(client, banner.data(), banner.size()) > 0) std::this_thread::sleep_for(std::chrono::seconds(3));
        if (client >= 0) close(client);
    });
    Root root("[BEGIN][1][4800][0][0][0][0][0][0][0][0][0][END]");
    fs::create_directories(root.dir + "/dev");
    std::ofstream(root.dir + "/dev/COM1") << "tcp://127.0.0.1:" << port << "\n";
    const std::string log = root.dir + "/velkar.log";
    const pid_t navigator = StartNavigator(root, 3, log);
    const long took = WaitFor(log, "this is gpsd: use gpsd://127.0.0.1:" + std::to_string(port), 4000);
    waitpid(navigator, nullptr, 0);
    greeter.join();
    close(server);
    EXPECT_GE(took, 0) << Slurp(log);
}

TEST(SharedRoot, ASettingsFileTheToolCannotReadWholeIsRefusedNotRewritten)
{
    const struct { const char* name; std::string kind, why; } rows[] = {
        {"a FIFO (no hang)", "fifo", "not a regular file"},
        {"UTF-16 without its mark", "utf16", "binary or UTF-16 text without a byte-order mark"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Root root;
        if (row.kind == "fifo") mkfifo(root.Settings().c_str(), 0600);
        else std::ofstream(root.Settings()) << std::string("[\0B\0]\0", 6);
        const Outcome run = Shell("timeout 20 " + kPortTool + " use tcp://127.0.0.1:1 --root " + root.dir);
        EXPECT_EQ(run.status, 2);
        EXPECT_EQ(run.output, "velkar-port: " + root.Settings() + " is " + row.why + "; nothing changed\n");
        EXPECT_FALSE(fs::exists(root.dir + "/dev/COM1"));
    }
}

}  // namespace
