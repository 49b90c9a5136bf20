// Sources that come and go: a tty that hangs up and comes back (USB unplugged and
// replugged), a TCP NMEA server in the test that drops its client or vanishes, and
// Debian's gpsd serving a pty. The reader sleeps meanwhile and reconnects by itself.
#include <arpa/inet.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <memory>

#include "platform/posix/serial_source.h"
#include "serial_support.h"

extern char** environ;

namespace {

double ProcessCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The other side closes and the adapter's device node goes (the link dangles as after a hang-up).
TEST(SerialRecovery, ReadingResumesAfterUnplugWithTheCpuIdle)
{
    TempRoot root;
    auto pty = std::make_unique<Pty>();
    root.Link(1, pty->slavePath);
    ASSERT_EQ(OpenPort(u"COM1:", 9600), 1);
    ASSERT_TRUE(SendUntilSeen(*pty, "100000"));
    pty->Unplug();
    fs::remove(root.Dev(1));
    // Gone for three seconds: a busy loop burns them all, retries once a second cost
    // microseconds. The bound is generous: this checks idleness, not speed.
    const double before = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_LT(ProcessCpuSeconds() - before, 0.3) << "CPU seconds while the device was gone";
    EXPECT_EQ(readerThreadsRunning.load(), 1);
    // Back as a new tty, cooked and at 1200: the reopen gives it the port's settings again.
    pty = std::make_unique<Pty>();
    termios t{};
    tcgetattr(pty->slave, &t);
    t.c_lflag |= ICANON | ECHO;
    cfsetspeed(&t, B1200);
    tcsetattr(pty->slave, TCSANOW, &t);
    root.Link(1, pty->slavePath);
    EXPECT_TRUE(SendUntilSeen(*pty, "100100"));
    ASSERT_EQ(tcgetattr(pty->slave, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600));
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO), 0u);
    pty->Unplug(), std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_TRUE(ShutDownLink()) << "shutdown while the reader sleeps between retries";
}

// One listening socket on 127.0.0.1 and the client it last accepted.
struct TcpServer {
    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0), client = -1, port = 0;
    TcpServer()
    {
        sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof a;
        bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(listener, 4);
        getsockname(listener, reinterpret_cast<sockaddr*>(&a), &length);
        port = ntohs(a.sin_port);
    }
    ~TcpServer() { Drop(), close(listener); }
    bool Accept()
    {
        pollfd p{listener, POLLIN, 0};
        return poll(&p, 1, 20000) == 1 && (client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;
    }
    void Send(const std::string& bytes) const { send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    void Drop()
    {
        if (client >= 0) close(client);
        client = -1;
    }
};

TEST(SerialRecovery, SourceFilesAreParsed)
{
    const struct { const char* text; SerialSourceKind kind; const char* host; int port; } rows[] = {
        {"tcp://192.168.1.20:10110", SerialSourceKind::Tcp, "192.168.1.20", 10110},
        {"  tcp://phone.local:10110  \r\n", SerialSourceKind::Tcp, "phone.local", 10110},
        {"gpsd://127.0.0.1", SerialSourceKind::Gpsd, "127.0.0.1", 2947},  // gpsd's own port
        {"gpsd://[::1]:3000\nsecond line ignored", SerialSourceKind::Gpsd, "::1", 3000},
    };
    SerialSource s;
    for (const auto& r : rows) {
        EXPECT_EQ(ParseNetworkSource(r.text, &s), 1) << r.text;
        EXPECT_TRUE(s.kind == r.kind && s.host == r.host && s.port == r.port) << r.text;
    }
    for (const char* bad : {"tcp://host", "tcp://host:0", "tcp://host:65536", "tcp://host:12a", "tcp://:10110",
                            "tcp://::1:10110", "tcp://[::1:10110", "udp://host:10110", "TCP://host:10110", ""})
        EXPECT_EQ(ParseNetworkSource(bad, &s), 0) << bad;
}

TEST(SerialRecovery, TcpSourceReadsReconnectsAndSurvivesItsServer)
{
    TempRoot root;
    auto server = std::make_unique<TcpServer>();
    root.Source(1, "tcp://127.0.0.1:" + std::to_string(server->port));
    ASSERT_EQ(OpenPort(u"COM1:", 0), 1);  // speed 0 (no settings file) is fine without a line
    ASSERT_TRUE(server->Accept());
    const std::string first = Gga("070000");  // split mid-sentence, as TCP segments may be
    server->Send(first.substr(0, 20));
    server->Send(first.substr(20));
    ASSERT_TRUE(WaitForUtcTime(u"070000"));
    server->Drop();
    ASSERT_TRUE(server->Accept()) << "the link did not connect again";
    server->Send(Gga("070100"));
    EXPECT_TRUE(WaitForUtcTime(u"070100"));
    server.reset();  // gone altogether: retries, no busy loop, shutdown still immediate
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
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
    char* argv[] = {gpsd.data(), const_cast<char*>("-N"), const_cast<char*>("-n"), const_cast<char*>("-b"),
                    const_cast<char*>("-S"), const_cast<char*>(port.c_str()), pty.slavePath.data(), nullptr};
    pid_t daemon = -1;
    ASSERT_EQ(posix_spawn(&daemon, gpsd.c_str(), nullptr, nullptr, argv, environ), 0);
    root.Source(1, "gpsd://127.0.0.1:" + port);
    // The reader connects once gpsd listens; gpsd hands sentences on once it has recognised
    // an NMEA device: keep the receiver talking (bounded).
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
