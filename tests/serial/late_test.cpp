// Receivers that are not there yet, and receivers that fall silent: a device link and a TCP
// server that appear 3 s after the start are picked up with the settings given at the start;
// a pty that stops talking loses its fix after the silence limit (the real main window's tick)
// and the log stops; a receiver that hangs up loses it at once.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include "app/globals.h"
#include "app/shell.h"
#include "platform/clock.h"
#include "platform/window.h"
#include "resources/resources.h"
#include "serial_support.h"

namespace {

constexpr auto kLate = std::chrono::seconds(3);

// A loopback socket bound to a free port, made COM1's source: connections are refused
// until listen(fd, 4) is called on it.
int Server(const TempRoot& root)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) return close(fd), -1;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
    root.Source(1, "tcp://127.0.0.1:" + std::to_string(ntohs(a.sin_port)));
    return fd;
}

// The next connection to listener, within 20 s; -1 when none comes.
int Accept(int listener)
{
    pollfd p{listener, POLLIN, 0};
    return poll(&p, 1, 20000) == 1 ? accept4(listener, nullptr, nullptr, SOCK_CLOEXEC) : -1;
}

TEST(LateReceiver, DeviceLinkAppearingAfterTheStartIsPickedUp)
{
    TempRoot root;  // COM200: no entry and no /dev/ttyS199 (COM1: would fall back on a real ttyS0)
    StderrCapture capture;
    EXPECT_EQ(OpenPort(u"COM200:", 9600), 0);  // nothing there yet: told once, then tried again
    EXPECT_EQ(readerThreadsRunning.load(), 1);
    std::this_thread::sleep_for(kLate);
    Pty pty;  // plugged in at 1200, as a new tty may come
    termios t{};
    tcgetattr(pty.slave, &t);
    cfsetspeed(&t, B1200);
    tcsetattr(pty.slave, TCSANOW, &t);
    root.Link(200, pty.slavePath);
    EXPECT_TRUE(SendUntilSeen(pty, "120000"));
    ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
    EXPECT_EQ(cfgetospeed(&t), speed_t(B9600)) << "the speed given at the start";
    EXPECT_TRUE(ShutDownLink());
    EXPECT_EQ(capture.Text(), "Error: Unable to open the port\n");
}

TEST(LateReceiver, TcpServerStartedAfterTheStartIsPickedUpAndTheFailureToldOnce)
{
    TempRoot root;
    const int listener = Server(root);
    ASSERT_GE(listener, 0);
    StderrCapture capture;
    EXPECT_EQ(OpenPort(u"COM1:", 4800), 1);  // connecting is the reader's work
    // The reader's first connection is refused; the tick (here: by hand) learns it once.
    EXPECT_TRUE(WaitUntil([] { return TakePortFailure() == 1; }));
    ReportPortFailure();
    std::this_thread::sleep_for(kLate);
    EXPECT_EQ(TakePortFailure(), 0) << "told once, though tried again every second";
    ASSERT_EQ(listen(listener, 4), 0);
    const int client = Accept(listener);
    ASSERT_GE(client, 0) << "the link never connected";
    const std::string gga = Gga("130000");
    send(client, gga.data(), gga.size(), MSG_NOSIGNAL);
    EXPECT_TRUE(WaitForUtcTime(u"130000"));
    EXPECT_EQ(capture.Text(), "Error: Unable to open the port\n");
    EXPECT_TRUE(ShutDownLink());
    close(client), close(listener);
}

TEST(LateReceiver, SilentTcpSourceIsDroppedAndReopened)
{
    TempRoot root;
    const int listener = Server(root);
    ASSERT_EQ(listen(listener, 4), 0);
    ASSERT_EQ(OpenPort(u"COM1:", 4800), 1);
    const int first = Accept(listener);
    ASSERT_GE(first, 0);
    const std::string gga = Gga("140000");
    send(first, gga.data(), gga.size(), MSG_NOSIGNAL);
    ASSERT_TRUE(WaitForUtcTime(u"140000"));
    EXPECT_EQ(SnapshotGpsState().fixQuality, 1);
    // Open but silent: after 10 s the link gives up on it (the fix goes) and connects again.
    const int second = Accept(listener);
    EXPECT_GE(second, 0) << "no new connection after the silence";
    EXPECT_EQ(SnapshotGpsState().fixQuality, 0);
    char byte;
    EXPECT_EQ(recv(first, &byte, 1, MSG_DONTWAIT), 0) << "the silent connection was closed";
    EXPECT_TRUE(ShutDownLink());
    close(first), close(second), close(listener);
}

// The real main window with the log on; ticks are sent by hand (its timer is stopped).
TEST(SilentReceiver, FixGoesAfterTheLimitAndTheLogStopsAHangUpDropsItAtOnce)
{
    TempRoot root;
    fs::create_directories(root.path + "/Scheda di memoria");
    Pty pty;
    root.Link(1, pty.slavePath);
    hInstance = &velkarResources;
    const WindowClass wc = {3, MainWndProc, hInstance, 109, kMainClassName};
    RegisterWindowClass(&wc);  // once per process: the replay test may have done it
    mainWindow = CreateMainWindow(kMainClassName, kMainTitle, kStyleVisible, kUseDefault, kUseDefault, kUseDefault,
                                  kUseDefault);
    ASSERT_NE(mainWindow, nullptr);
    StopTimer(mainWindow, kMainTimerId);
    settings.enableLog = 1;
    ASSERT_EQ(OpenPort(u"COM1:", 4800), 1);
    const auto tick = [] { SendWindowMessage(mainWindow, kMsgTimer, kMainTimerId, 0); };
    const auto logLines = [&] {
        std::ifstream in(root.path + "/Scheda di memoria/GpsLog.txt");
        return std::count(std::istreambuf_iterator<char>(in), {}, '\n');
    };
    ASSERT_TRUE(SendUntilSeen(pty, "150000"));
    const int64_t lastGga = MonotonicMs();
    for (int i = 0; i < 10; ++i) tick();
    EXPECT_EQ(logLines(), 1);
    EXPECT_EQ(SnapshotGpsState().fixQuality, 1) << "within the limit the fix holds";
    // Silent past the limit: the next tick drops the fix; ten more ticks log nothing.
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(std::chrono::milliseconds(lastGga)) +
                                  std::chrono::milliseconds(kGpsSilenceLimitMs + 200));
    tick();
    EXPECT_EQ(SnapshotGpsState().fixQuality, 0) << "GPS Not Fixed";
    for (int i = 0; i < 20; ++i) tick();
    EXPECT_EQ(logLines(), 1);
    // The receiver talks again, then hangs up: the reader drops the fix without waiting.
    ASSERT_TRUE(SendUntilSeen(pty, "150100"));
    EXPECT_EQ(SnapshotGpsState().fixQuality, 1);
    pty.Unplug();
    EXPECT_TRUE(WaitUntil([] { return SnapshotGpsState().fixQuality == 0; }, 3000));
    settings.enableLog = 0;
    DestroyMainWindow(mainWindow);
    mainWindow = nullptr;
    EXPECT_TRUE(WaitUntil([] { return readerThreadsRunning.load() == 0; }));
}

}  // namespace
