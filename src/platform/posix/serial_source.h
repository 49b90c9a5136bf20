// What a port name stands for on this machine, and how to open it: a tty (a
// serial adapter, a pty) or a network source named by a one-line text file
// ("tcp://HOST:PORT", "gpsd://HOST[:PORT]"). POSIX; private to platform/posix
// (tests include it to check the parsing of source files).
#pragma once

#include <sys/socket.h>
#include <termios.h>

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
    std::string url;   // Tcp, Gpsd: the line as given, trimmed, for messages
    // Tcp, Gpsd: filled by ResolveNetworkAddresses, on the reader thread.
    std::vector<sockaddr_storage> addresses;
    std::vector<socklen_t> addressLengths;
};

// Parses the first line of a source file: "tcp://HOST:PORT" or
// "gpsd://HOST[:PORT]", HOST a name, an IPv4 address or "[IPv6]", PORT 1 to
// 65535; white space around the text is ignored. 1 on success, else 0.
int ParseNetworkSource(const std::string& text, SerialSource* source);

// What a source could not do, for the platform's own messages.
enum class SourceFailure : int32_t { None, NoSuchDevice, BadSourceFile, Refused, Busy, NotATty, Unresolved,
                                     NotConnected, Other };

// Works out the source behind a host path without asking a name server: a
// regular file (after links) is a network source and is read; anything else, a
// dangling link too, is a tty. NoSuchDevice when nothing is there, BadSourceFile
// for a file that is not a valid source line, else None.
SourceFailure ReadSerialSource(const std::string& hostPath, SerialSource* source);

// Fills source->addresses from its host (may wait on a name server). 1 on success.
int ResolveNetworkAddresses(SerialSource* source);

// The termios code of a speed in bits per second; 0 for a speed a tty does not take.
int SpeedToTtyCode(uint32_t bitsPerSecond, speed_t* code);

// Opens a tty read-write without sharing: O_NOCTTY, O_NONBLOCK, TIOCEXCL, and an
// exclusive flock that a second opener in any process fails on (TIOCEXCL does
// not stop the superuser). The descriptor, or -1 with *error the errno.
int OpenTtyExclusive(const std::string& path, int* error = nullptr);

// Connects to a network source, trying its addresses in turn, each for at most
// timeoutMs; a readable releaseFd (-1: none) abandons the attempt at once. For
// gpsd the watch request is sent. A non-blocking socket, or -1 with *error the
// errno of the last address tried (ECANCELED when released).
int ConnectNetworkSource(const SerialSource& source, int releaseFd, int timeoutMs, int* error = nullptr);

// The processes that hold path open, found through /proc/*/fd: "gpsd (pid 812)",
// several joined by ", "; "" when none can be seen (another user's processes are
// hidden from a normal user).
std::string DeviceHolders(const std::string& path);

// Words a Linux user can act on for a failed opening of path with errno error:
// "permission denied: add yourself to the dialout group ...", "busy: held by ...".
std::string OpenFailureWords(const std::string& path, SourceFailure failure, int error);
