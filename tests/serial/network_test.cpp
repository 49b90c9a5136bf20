// Network sources: <root>/dev/COMn as a text file naming a TCP NMEA server or
// gpsd. A small server in the test plays the TCP receiver; Debian's gpsd runs on
// a pty for the gpsd source. Same framing, same recovery when the peer goes.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>
#include <string>

#include <gtest/gtest.h>

#include "gps/gps_state.h"
#include "gps/serial_link.h"
#include "platform/posix/serial_source.h"
#include "serial_support.h"
#include "store/settings.h"

extern char** environ;

namespace {

// One listening socket on 127.0.0.1 and the connection it last accepted.
struct TcpServer {
    int listener = -1;
    int client = -1;
    int port = 0;
    TcpServer()
    {
        listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        listen(listener, 4);
        socklen_t length = sizeof a;
        getsockname(listener, reinterpret_cast<sockaddr*>(&a), &length);
        port = ntohs(a.sin_port);
    }
    ~TcpServer()
    {
        DropClient();
        close(listener);
    }
    // Waits (bounded) for the link to connect.
    bool Accept(int guardMs = 20000)
    {
        pollfd p{listener, POLLIN, 0};
        if (poll(&p, 1, guardMs) != 1) return false;
        client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        return client >= 0;
    }
    void Send(const std::string& bytes) { send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    void DropClient()
    {
        if (client >= 0) close(client);
        client = -1;
    }
};

std::string Gga(const char* time)
{
    return Sentence(std::string("GNGGA,") + time + ",4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
}

}  // namespace

// Source files (rows: text -> kind, host, port; or refused).
TEST(SerialNetwork, SourceFilesAreParsed)
{
    struct Row {
        const char* text;
        int ok;
        SerialSourceKind kind;
        const char* host;
        int port;
    };
    const Row rows[] = {
        {"tcp://192.168.1.20:10110", 1, SerialSourceKind::Tcp, "192.168.1.20", 10110},
        {"  tcp://phone.local:10110  \r\n", 1, SerialSourceKind::Tcp, "phone.local", 10110},
        {"gpsd://127.0.0.1", 1, SerialSourceKind::Gpsd, "127.0.0.1", 2947},  // gpsd's own port
        {"gpsd://localhost:2948", 1, SerialSourceKind::Gpsd, "localhost", 2948},
        {"gpsd://[::1]:3000", 1, SerialSourceKind::Gpsd, "::1", 3000},
        {"gpsd://[::1]", 1, SerialSourceKind::Gpsd, "::1", 2947},
        {"tcp://host:1\nsecond line ignored", 1, SerialSourceKind::Tcp, "host", 1},
        {"tcp://host", 0, SerialSourceKind::Tcp, "", 0},        // a TCP source names its port
        {"tcp://host:", 0, SerialSourceKind::Tcp, "", 0},
        {"tcp://host:0", 0, SerialSourceKind::Tcp, "", 0},
        {"tcp://host:65536", 0, SerialSourceKind::Tcp, "", 0},
        {"tcp://host:12a", 0, SerialSourceKind::Tcp, "", 0},
        {"tcp://:10110", 0, SerialSourceKind::Tcp, "", 0},
        {"tcp://::1:10110", 0, SerialSourceKind::Tcp, "", 0},  // IPv6 needs brackets
        {"tcp://[::1:10110", 0, SerialSourceKind::Tcp, "", 0},
        {"udp://host:10110", 0, SerialSourceKind::Tcp, "", 0},
        {"TCP://host:10110", 0, SerialSourceKind::Tcp, "", 0},
        {"/dev/ttyUSB0", 0, SerialSourceKind::Tcp, "", 0},
        {"", 0, SerialSourceKind::Tcp, "", 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        SerialSource source;
        EXPECT_EQ(ParseNetworkSource(row.text, &source), row.ok);
        if (row.ok != 1) continue;
        EXPECT_EQ(source.kind, row.kind);
        EXPECT_EQ(source.host, row.host);
        EXPECT_EQ(source.port, row.port);
    }
}

// A TCP receiver: sentences arrive; the connection drops and the link connects
// again by itself; speed 0 (no settings file) is fine for a source with no line.
TEST(SerialNetwork, TcpSourceReadsAndReconnects)
{
    ResetLinkState();
    settings.gpsEmulation = 0;
    TempRoot root;
    TcpServer server;
    WriteSourceFile(root, 1, "tcp://127.0.0.1:" + std::to_string(server.port));
    ASSERT_EQ(OpenPort(u"COM1:", 0), 1);
    ASSERT_TRUE(server.Accept());
    // Split mid-sentence across two sends, as TCP segments may split it.
    const std::string first = Gga("070000");
    server.Send(first.substr(0, 20));
    server.Send(first.substr(20));
    ASSERT_TRUE(WaitForUtcTime(u"070000"));

    server.DropClient();
    ASSERT_TRUE(server.Accept()) << "the link did not connect again";
    server.Send(Gga("070100"));
    EXPECT_TRUE(WaitForUtcTime(u"070100"));
    EXPECT_TRUE(ShutDownLink());
}

// The server gone altogether: retries once a second, no busy loop, and the
// shutdown still ends the reader at once.
TEST(SerialNetwork, TcpServerGoneThenShutdown)
{
    ResetLinkState();
    TempRoot root;
    auto server = std::make_unique<TcpServer>();
    WriteSourceFile(root, 1, "tcp://127.0.0.1:" + std::to_string(server->port));
    ASSERT_EQ(OpenPort(u"COM1:", 4800), 1);
    ASSERT_TRUE(server->Accept());
    server.reset();  // listener and connection closed
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(readerThreadsRunning.load(), 1);
    EXPECT_TRUE(ShutDownLink());
}

// gpsd as the source: Debian's gpsd reads a pty we write NMEA into and serves it
// on 127.0.0.1; the link asks it for raw NMEA.
TEST(SerialNetwork, GpsdSourceDeliversSentences)
{
    std::string gpsd;
    for (const char* candidate : {"/usr/sbin/gpsd", "/usr/bin/gpsd", "/usr/local/sbin/gpsd"})
        if (access(candidate, X_OK) == 0) gpsd = candidate;
    if (gpsd.empty()) GTEST_SKIP() << "gpsd is not installed (apt-get install --no-install-recommends gpsd)";

    ResetLinkState();
    settings.gpsEmulation = 0;
    TempRoot root;
    Pty pty;
    int port = 0;
    {
        TcpServer probe;  // an unused port for gpsd to listen on
        port = probe.port;
    }
    // -N foreground, -n read the device at once, -b never write to it, -S port;
    // gpsd listens on the loopback address only unless told otherwise.
    const std::string portText = std::to_string(port);
    char* argv[] = {const_cast<char*>(gpsd.c_str()), const_cast<char*>("-N"), const_cast<char*>("-n"),
                    const_cast<char*>("-b"), const_cast<char*>("-S"), const_cast<char*>(portText.c_str()),
                    const_cast<char*>(pty.slavePath.c_str()), nullptr};
    pid_t daemon = -1;
    ASSERT_EQ(posix_spawn(&daemon, gpsd.c_str(), nullptr, nullptr, argv, environ), 0);

    // Wait (bounded) until gpsd listens.
    bool listening = false;
    for (int i = 0; i < 200 && !listening; ++i) {
        int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(port));
        listening = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        close(fd);
        if (!listening) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (listening) {
        WriteSourceFile(root, 1, "gpsd://127.0.0.1:" + portText);
        EXPECT_EQ(OpenPort(u"COM1:", 4800), 1);
        // gpsd hands sentences on once it has recognised an NMEA device; keep
        // the receiver talking until one arrives (bounded).
        bool seen = false;
        for (int i = 0; i < 200 && !seen; ++i) {
            pty.Write(Gga("083000") + Sentence("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K"));
            pty.DrainEcho();
            seen = WaitForUtcTime(u"083000", 100);
        }
        EXPECT_TRUE(seen) << "no GGA came through gpsd";
        const GpsState g = SnapshotGpsState();
        EXPECT_EQ(g.fixQuality, 1);
        EXPECT_EQ(g.satellites, 8);
        EXPECT_TRUE(ShutDownLink());
    }
    kill(daemon, SIGTERM);
    int status = 0;
    waitpid(daemon, &status, 0);
    ASSERT_TRUE(listening) << "gpsd did not listen on 127.0.0.1:" << port;
}
