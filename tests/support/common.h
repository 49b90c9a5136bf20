// Shared by the test folders alike: whole files read and written, a temporary folder, an NMEA sentence
// with its checksum, a raw pty pair, a listening socket on the loopback, standard error captured and a
// bounded wait. POSIX; tests only.
#pragma once
#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

inline std::string Slurp(const std::string& path)
{
    std::stringstream bytes;
    bytes << std::ifstream(path, std::ios::binary).rdbuf();
    return bytes.str();
}
inline void WriteFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// A fresh folder /tmp/velkar-<kind>-XXXXXX; "" when none can be made.
inline std::string MakeTempFolder(const std::string& kind = "test")
{
    std::string pattern = (std::filesystem::temp_directory_path() / ("velkar-" + kind + "-XXXXXX")).string();
    return mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
}

// "$" + body + "*" + the XOR checksum in two hex digits + CRLF.
inline std::string Sentence(const std::string& body)
{
    unsigned sum = 0;
    for (unsigned char c : body) sum ^= c;
    char tail[8];
    return std::snprintf(tail, sizeof tail, "*%02X\r\n", sum), "$" + body + tail;
}

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
        if (openpty(&master, &slave, name, &t, nullptr) != 0) return;
        slavePath = name;
        fcntl(master, F_SETFD, FD_CLOEXEC), fcntl(slave, F_SETFD, FD_CLOEXEC);  // no child keeps the line up
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
    bool Accept(int guardMs = 20000)  // the next connection, within the guard
    {
        pollfd p{listener, POLLIN, 0};
        return poll(&p, 1, guardMs) == 1 && (client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;
    }
    void Send(const std::string& bytes) const { send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL); }
    void Drop() { if (client >= 0) close(client); client = -1; }
};

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

// Waits until done() holds, bounded by a generous guard (a hang guard, not a timing check).
template <typename Done>
bool WaitUntil(Done done, int guardMs = 20000)
{
    for (auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(guardMs); !done();)
        if (std::chrono::steady_clock::now() > end) return false;
        else std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return true;
}
