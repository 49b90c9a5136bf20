// Shared fixture of the serial tests: a temporary device root, pty pairs linked in as <root>/dev/COMn,
// a loopback NMEA server, NMEA sentences with checksums, standard-error capture, bounded waits on the
// reader thread, the real main window. POSIX; tests only.
#pragma once
#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <gtest/gtest.h>
#include "app/globals.h"
#include "app/shell.h"
#include "gps/framing.h"
#include "gps/gps_state.h"
#include "gps/serial_link.h"
#include "platform/files.h"
#include "platform/window.h"
#include "resources/resources.h"
#include "store/settings.h"

namespace fs = std::filesystem;

// A fresh device root with its dev/ folder, removed at the end; link state reset.
struct TempRoot {
    std::string path;
    TempRoot()
    {
        char pattern[] = "/tmp/velkar-serial-XXXXXX";
        fs::create_directories((path = mkdtemp(pattern)) + "/dev");
        SetDeviceRoot(path);
        std::unique_lock<std::mutex> lock(gpsMutex);
        gpsState = GpsState{};
        std::memset(displayLine, 0, sizeof displayLine);
        lock.unlock();
        ResetGpsState();
        if (readerThreadsRunning.load() == 0) std::memset(sentenceBuffer, 0, sizeof sentenceBuffer);
        settings.gpsEmulation = gotoActive = 0;
        TakePortFailure();  // an earlier link's
    }
    ~TempRoot() { std::error_code ec; fs::remove_all(path, ec); }
    std::string Dev(int n) const { return path + "/dev/COM" + std::to_string(n); }
    void Link(int n, const std::string& target) const { fs::remove(Dev(n)), fs::create_symlink(target, Dev(n)); }
    void Source(int n, const std::string& line) const { fs::remove(Dev(n)), std::ofstream(Dev(n)) << line << "\n"; }
};

// A pty pair: the master is the receiver's side; the slave, set raw so that bytes written before the
// port is configured are not edited, is kept to read back its line settings.
struct Pty {
    int master = -1, slave = -1;
    std::string slavePath;
    Pty()
    {
        char name[256] = {};
        termios t{};
        cfmakeraw(&t);
        if (openpty(&master, &slave, name, &t, nullptr) == 0) slavePath = name;
    }
    ~Pty() { Unplug(); }
    void Unplug() { if (master >= 0) close(master), close(slave); master = slave = -1; }  // the slave hangs up
    void Write(const std::string& bytes) const
    {
        for (size_t done = 0; done < bytes.size();) {
            const ssize_t n = write(master, bytes.data() + done, bytes.size() - done);
            if (n <= 0 && errno != EINTR) return;
            if (n > 0) done += size_t(n);
        }
    }
    void DrainEcho() const  // drops what the slave side wrote back
    {
        char buffer[4096];
        while (fcntl(master, F_SETFL, O_NONBLOCK) == 0 && read(master, buffer, sizeof buffer) > 0) {}
        fcntl(master, F_SETFL, 0);
    }
    termios Settings() const { termios t{}; return tcgetattr(slave, &t), t; }
};

// A socket on 127.0.0.1 bound to a free port, listening unless told not to yet; the client it last accepted.
struct TcpServer {
    int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0), client = -1, port = 0;
    explicit TcpServer(bool listening = true)
    {
        sockaddr_in a{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
        socklen_t length = sizeof a;
        bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a);
        if (listening) listen(listener, 4);
        getsockname(listener, reinterpret_cast<sockaddr*>(&a), &length);
        port = ntohs(a.sin_port);
    }
    ~TcpServer() { Drop(), close(listener); }
    bool Accept()  // the next connection, within 20 s
    {
        pollfd p{listener, POLLIN, 0};
        return poll(&p, 1, 20000) == 1 && (client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;
    }
    void Send(const std::string& bytes) const { send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    void Drop() { if (client >= 0) close(client); client = -1; }
};

// "$" + body + "*" + the XOR checksum in two hex digits + CRLF.
inline std::string Sentence(const std::string& body)
{
    unsigned sum = 0;
    for (unsigned char c : body) sum ^= c;
    char tail[8];
    return std::snprintf(tail, sizeof tail, "*%02X\r\n", sum), "$" + body + tail;
}
inline std::string Gga(const std::string& time, const char* talker = "GP")
{
    return Sentence(talker + ("GGA," + time) + ",4420.924,N,01143.050,E,1,5,1.69,30,M,47,M,,");
}

// Waits until done() holds, bounded by a generous guard (a hang guard, not a timing check).
template <typename Done>
bool WaitUntil(Done done, int guardMs = 20000)
{
    for (auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(guardMs); !done();)
        if (std::chrono::steady_clock::now() > end) return false;
        else std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return true;
}
inline bool WaitForSentenceEnds(uint32_t target) { return WaitUntil([&] { return sentenceEnds.load() >= target; }); }
inline bool ReaderEnded() { return WaitUntil([] { return readerThreadsRunning.load() == 0; }); }
inline std::u16string UtcTime() { return SnapshotGpsState().utcTime; }
inline bool WaitForUtcTime(const std::u16string& time, int guardMs = 20000)
{
    return WaitUntil([&] { return UtcTime() == time; }, guardMs);
}
// Writes a GGA with this time every 50 ms until the state shows it (at most 20 s).
inline bool SendUntilSeen(const Pty& pty, const std::string& time)
{
    for (int i = 0; i < 400; ++i)
        if (pty.Write(Gga(time)), pty.DrainEcho(), WaitForUtcTime(std::u16string(time.begin(), time.end()), 50))
            return true;
    return false;
}
inline std::u16string Line() { char16_t line[kDisplayLineSize]; return SnapshotDisplayLine(line), line; }
// Ends the link as the shutdown does: release the wait, close the port, wait for the reader.
inline bool ShutDownLink() { return ReleasePortWait(portHandle), ClosePort(portHandle), ReaderEnded(); }

// The real main window (its class registered once per process).
inline WindowHandle OpenMainWindow()
{
    hInstance = &velkarResources;
    static const WindowClass wc = {3, MainWndProc, hInstance, 109, kMainClassName};
    static const int registered = RegisterWindowClass(&wc);
    return registered != 1 ? nullptr : mainWindow = CreateMainWindow(kMainClassName, kMainTitle, kStyleVisible,
                                                                     kUseDefault, kUseDefault, kUseDefault, kUseDefault);
}

// Standard error of the process from construction to Text().
struct StderrCapture {
    char file[32] = "/tmp/velkar-stderr-XXXXXX";
    int saved = (std::fflush(stderr), dup(2));
    StderrCapture() { dup2(mkstemp(file), 2); }
    ~StderrCapture() { Text(), unlink(file); }
    std::string Text()
    {
        if (saved >= 0) std::fflush(stderr), dup2(saved, 2), close(saved), saved = -1;
        std::stringstream text;
        return (text << std::ifstream(file).rdbuf(), text.str());
    }
};
