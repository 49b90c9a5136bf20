// Sources that come late, fall silent, go and come back (a pty, a TCP NMEA server in the test, Debian's
// gpsd serving a pty): the reader sleeps meanwhile and reconnects by itself; the fix goes when they do.
#include <signal.h>
#include <sys/wait.h>
#include <ctime>
#include <memory>
#include "gps/fix_history.h"
#include "platform/posix/serial_source.h"
#include "serial_support.h"

namespace {
constexpr auto kLate = std::chrono::seconds(3);
const std::string kOpenFailed = "Error: Unable to open the port\n";
// COM200: no entry and no /dev/ttyS199 (COM1: would fall back on a real ttyS0), told once and tried
// again; plugged in later as a new tty (cooked, at 1200), unplugged mid-sentence (the other side closes,
// the device node goes, the link dangles) and plugged in again: each reopen gives the port's settings.
TEST(SerialRecovery, DeviceAppearsLateAndComesBackAfterUnplugWithTheCpuIdle)
{
    TempRoot root;
    StderrCapture capture;
    EXPECT_EQ(OpenPort(u"COM200:", 9600), 0);
    EXPECT_EQ(readerThreadsRunning.load(), 1);
    std::this_thread::sleep_for(kLate);
    std::unique_ptr<Pty> pty;
    const auto plugIn = [&] {  // as a new tty may come: at another speed, cooked
        termios t = (pty = std::make_unique<Pty>())->Settings();
        t.c_lflag |= ICANON | ECHO, cfsetspeed(&t, B1200), tcsetattr(pty->slave, TCSANOW, &t);
        root.Link(200, pty->slavePath);
    };
    const auto asGiven = [&] {
        const termios t = pty->Settings();
        return cfgetospeed(&t) == B9600 && !(t.c_lflag & (ICANON | ECHO));
    };
    plugIn();
    for (int i = 0; i < 400 && UtcTime() != u"100000"; ++i)  // a GGA every 50 ms until it is seen
        pty->Write(Gga("100000")), pty->DrainEcho(), WaitForUtcTime(u"100000", 50);
    ASSERT_EQ(UtcTime(), u"100000");
    EXPECT_TRUE(asGiven()) << "the settings given at the start";
    EXPECT_EQ(capture.Text(), kOpenFailed);
    pty->Write("$GPGGA,100001,4420.9"), pty->DrainEcho();  // cut off by the unplugging
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    pty->Unplug(), fs::remove(root.Dev(200));
    // Gone for three seconds: a busy loop burns them all, retries once a second cost microseconds.
    // The bound is generous: this checks idleness, not speed.
    const std::clock_t before = std::clock();  // the process's CPU time, every thread's
    std::this_thread::sleep_for(kLate);
    EXPECT_LT(double(std::clock() - before) / CLOCKS_PER_SEC, 0.3) << "CPU seconds while the device was gone";
    EXPECT_EQ(readerThreadsRunning.load(), 1);
    const uint64_t serial = LatestFixSerial();
    plugIn();
    // The rest of the cut sentence comes first; glued to the stub it would be a GGA of 100001.
    for (int i = 0; i < 400 && UtcTime() != u"100002"; ++i)
        pty->Write("24,N,01143.050,E,1,5,1.69,30,M,47,M,,*00\r\n" + Gga("100002")), pty->DrainEcho(),
            WaitForUtcTime(u"100002", 50);
    EXPECT_EQ(UtcTime(), u"100002");
    AcceptedFix fixes[kFixHistorySize];
    const int32_t n = TakeFixesAfter(serial, fixes, kFixHistorySize);
    EXPECT_GE(n, 1);
    for (int32_t i = 0; i < n; ++i) EXPECT_EQ(std::u16string(fixes[i].utcTime), u"100002") << "the stub was glued on";
    EXPECT_TRUE(asGiven()) << "given again";
    pty->Unplug(), std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_TRUE(ShutDownLink()) << "shutdown while the reader sleeps between retries";
}
// The source file's line read (spaces, CR LF, gpsd's own port, brackets round IPv6, a second line ignored).
// Then refused first (learnt once though tried every second); a sentence split as TCP segments may be; silent
// for 10 s: given up (the fix goes) and connected again; dropped by the server: connected again; the server
// gone: retries, shutdown still immediate. Speed 0 (no settings file) is fine without a line.
TEST(SerialRecovery, SourceLinesReadTcpSourceStartsLateFallsSilentReconnectsAndSurvivesItsServer)
{
    const struct { const char* text; SerialSourceKind kind; const char* host; int port; } rows[] = {
        {"  tcp://phone.local:10110  \r\n", SerialSourceKind::Tcp, "phone.local", 10110},
        {"gpsd://127.0.0.1", SerialSourceKind::Gpsd, "127.0.0.1", 2947},  // gpsd's own port
        {"gpsd://[::1]:3000\nsecond line ignored", SerialSourceKind::Gpsd, "::1", 3000}};
    SerialSource s;
    for (const auto& r : rows)
        EXPECT_TRUE(ParseNetworkSource(r.text, &s) == 1 && s.kind == r.kind && s.host == r.host && s.port == r.port)
            << r.text;
    for (const char* bad : {"tcp://host", "tcp://host:0", "tcp://host:65536", "tcp://host:12a", "tcp://:10110",
                            "tcp://::1:10110", "tcp://[::1:10110", "udp://host:10110", "TCP://host:10110", ""})
        EXPECT_EQ(ParseNetworkSource(bad, &s), 0) << bad;
    TempRoot root;
    auto server = std::make_unique<TcpServer>(false);
    root.Source(1, "tcp://127.0.0.1:" + std::to_string(server->port));
    StderrCapture capture;
    EXPECT_EQ(OpenPort(u"COM1:", 0), 1);  // connecting is the reader's work
    EXPECT_TRUE(WaitUntil([] { return TakePortFailure() == 1; }));
    ReportPortFailure();
    std::this_thread::sleep_for(kLate);
    EXPECT_EQ(TakePortFailure(), 0) << "told once, though tried again every second";
    ASSERT_EQ(listen(server->listener, 4), 0);
    ASSERT_TRUE(server->Accept()) << "the link never connected";
    const std::string first = Gga("070000");
    server->Send(first.substr(0, 20)), server->Send(first.substr(20));
    ASSERT_TRUE(WaitForUtcTime(u"070000"));
    EXPECT_EQ(capture.Text(), kOpenFailed);
    EXPECT_EQ(SnapshotGpsState().fixQuality, 1);
    const int silent = std::exchange(server->client, -1);
    EXPECT_TRUE(server->Accept()) << "no new connection after the silence";
    char byte;
    EXPECT_EQ(SnapshotGpsState().fixQuality, 0);
    EXPECT_EQ(recv(silent, &byte, 1, MSG_DONTWAIT), 0) << "the silent connection was closed";
    close(silent), server->Drop();
    ASSERT_TRUE(server->Accept()) << "the link did not connect again";
    server->Send(Gga("070100"));
    EXPECT_TRUE(WaitForUtcTime(u"070100"));
    server.reset(), std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(readerThreadsRunning.load(), 1);
    EXPECT_TRUE(ShutDownLink());
}
TEST(SerialRecovery, GpsdSourceDeliversSentences)
{
    std::string gpsd;
    for (const char* candidate : {"/usr/sbin/gpsd", "/usr/bin/gpsd", "/usr/local/sbin/gpsd"})
        if (access(candidate, X_OK) == 0) gpsd = candidate;
    if (gpsd.empty()) GTEST_SKIP() << "gpsd is not installed (apt-get install --no-install-recommends gpsd)";
    TempRoot root;
    Pty pty;
    const std::string port = std::to_string(TcpServer().port);  // a free port for gpsd
    // -N foreground, -n read the device at once, -b never write to it, -S port (loopback only).
    const pid_t daemon = fork();
    if (daemon == 0) execl(gpsd.c_str(), "gpsd", "-N", "-n", "-b", "-S", port.c_str(), pty.slavePath.c_str(), nullptr), _exit(127);
    ASSERT_GT(daemon, 0);
    root.Source(1, "gpsd://127.0.0.1:" + port);
    // The reader connects once gpsd listens; gpsd hands sentences on once it has recognised an NMEA
    // device: keep the receiver talking (bounded).
    bool seen = false;
    const bool open = OpenPort(u"COM1:", 4800) == 1;
    for (int i = 0; open && i < 200 && !seen; ++i)
        pty.Write(Gga("083000", "GN")), pty.DrainEcho(), seen = WaitForUtcTime(u"083000", 100);
    EXPECT_TRUE(open && seen) << "no GGA came through gpsd on port " << port;
    EXPECT_EQ(SnapshotGpsState().satellites, 5);
    EXPECT_TRUE(!open || ShutDownLink());
    kill(daemon, SIGTERM);
    waitpid(daemon, nullptr, 0);
}
}  // namespace
