// What a port name stands for on this machine, and how to open it: a tty (a
// serial adapter, a pty) or a network source named by a one-line text file
// ("tcp://HOST:PORT", "gpsd://HOST[:PORT]"). POSIX; private to platform/posix
// (tests include it to check the parsing of source files).
#pragma once

#include <sys/socket.h>

#include <cstdint>
#include <string>
#include <vector>

enum class SerialSourceKind : int32_t { Tty, Tcp, Gpsd };

constexpr int kGpsdDefaultPort = 2947;
// Sent to gpsd after connecting: report every device's raw NMEA sentences.
constexpr char kGpsdWatchRequest[] = "?WATCH={\"enable\":true,\"nmea\":true}\n";

struct SerialSource {
    SerialSourceKind kind = SerialSourceKind::Tty;
    std::string path;  // Tty: host path, opened afresh (links followed) at every reopen
    std::string host;  // Tcp, Gpsd: as written, without IPv6 brackets
    int port = 0;
    // Tcp, Gpsd: resolved once when the port is opened, so that a reconnect
    // never waits on a name server and a shutdown always releases at once.
    std::vector<sockaddr_storage> addresses;
    std::vector<socklen_t> addressLengths;
};

// Parses the first line of a source file: "tcp://HOST:PORT" or
// "gpsd://HOST[:PORT]", HOST a name, an IPv4 address or "[IPv6]", PORT 1 to
// 65535; white space around the text is ignored. 1 on success, else 0.
int ParseNetworkSource(const std::string& text, SerialSource* source);

// Works out the source behind a host path: a regular file (after links) is a
// network source and is read and its host resolved; anything else is a tty.
// 0 when the path does not exist or names a file that is not a valid source.
int ResolveSerialSource(const std::string& hostPath, SerialSource* source);

// Opens a tty read-write without sharing: O_NOCTTY, O_NONBLOCK, TIOCEXCL, and an
// exclusive flock that a second opener in any process fails on (TIOCEXCL does
// not stop the superuser). The descriptor, or -1.
int OpenTtyExclusive(const std::string& path);

// Connects to a network source, trying its addresses in turn, each for at most
// timeoutMs; a readable releaseFd (-1: none) abandons the attempt at once. For
// gpsd the watch request is sent. A non-blocking socket, or -1.
int ConnectNetworkSource(const SerialSource& source, int releaseFd, int timeoutMs);
