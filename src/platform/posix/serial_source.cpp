// Port sources: the file behind <root>/dev/COMn, opening a tty without sharing,
// and connecting to a network source. A source file holds one line such as
//   tcp://192.168.1.20:10110        (NMEA over TCP, 10110 by convention)
//   gpsd://127.0.0.1                (gpsd, port 2947, asked for raw NMEA)
#include "platform/posix/serial_source.h"

#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kSourceFileLimit = 4096;  // bytes read from a source file

std::string Trim(const std::string& text)
{
    const char* space = " \t\r\n\v\f";
    size_t first = text.find_first_not_of(space);
    if (first == std::string::npos) return std::string();
    size_t last = text.find_last_not_of(space);
    return text.substr(first, last - first + 1);
}

// "10110" -> 10110; 0 for anything that is not 1 to 65535 in plain digits.
int ParsePort(const std::string& text)
{
    if (text.empty() || text.size() > 5) return 0;
    int value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        value = value * 10 + (c - '0');
    }
    return (value >= 1 && value <= 65535) ? value : 0;
}

}  // namespace

int ResolveNetworkAddresses(SerialSource* source)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_ADDRCONFIG;
    addrinfo* list = nullptr;
    const std::string service = std::to_string(source->port);
    if (getaddrinfo(source->host.c_str(), service.c_str(), &hints, &list) != 0) {
        // AI_ADDRCONFIG hides loopback-only families on a machine without a
        // configured interface; try once more without it.
        hints.ai_flags = 0;
        if (getaddrinfo(source->host.c_str(), service.c_str(), &hints, &list) != 0) return 0;
    }
    source->addresses.clear();
    source->addressLengths.clear();
    for (addrinfo* a = list; a != nullptr; a = a->ai_next) {
        if (a->ai_addrlen > sizeof(sockaddr_storage)) continue;
        sockaddr_storage storage{};
        std::memcpy(&storage, a->ai_addr, a->ai_addrlen);
        source->addresses.push_back(storage);
        source->addressLengths.push_back(a->ai_addrlen);
    }
    freeaddrinfo(list);
    return source->addresses.empty() ? 0 : 1;
}

namespace {

// Writes all of text to a connected socket, waiting at most timeoutMs per step.
int SendAll(int fd, const char* text, size_t length, int timeoutMs)
{
    size_t sent = 0;
    while (sent < length) {
        ssize_t n = send(fd, text + sent, length - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            if (poll(&p, 1, timeoutMs) <= 0) return 0;
            continue;
        }
        return 0;
    }
    return 1;
}

}  // namespace

int ParseNetworkSource(const std::string& text, SerialSource* source)
{
    std::string line = text.substr(0, text.find_first_of("\r\n"));
    line = Trim(line);
    SerialSource parsed;
    std::string rest;
    if (line.rfind("tcp://", 0) == 0) {
        parsed.kind = SerialSourceKind::Tcp;
        rest = line.substr(6);
    } else if (line.rfind("gpsd://", 0) == 0) {
        parsed.kind = SerialSourceKind::Gpsd;
        rest = line.substr(7);
    } else {
        return 0;
    }
    if (!rest.empty() && rest.back() == '/') rest.pop_back();  // "gpsd://host/" as a URL may end
    std::string portText;
    if (!rest.empty() && rest[0] == '[') {
        size_t close = rest.find(']');
        if (close == std::string::npos) return 0;
        parsed.host = rest.substr(1, close - 1);
        std::string after = rest.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != ':') return 0;
            portText = after.substr(1);
            if (portText.empty()) return 0;
        }
    } else {
        size_t colon = rest.find(':');
        if (colon != std::string::npos) {
            if (rest.find(':', colon + 1) != std::string::npos) return 0;  // bare IPv6 needs brackets
            parsed.host = rest.substr(0, colon);
            portText = rest.substr(colon + 1);
            if (portText.empty()) return 0;
        } else {
            parsed.host = rest;
        }
    }
    if (parsed.host.empty() || parsed.host.find_first_of(" \t/@?#") != std::string::npos) return 0;
    parsed.url = line;
    if (portText.empty()) {
        if (parsed.kind == SerialSourceKind::Tcp) return 0;  // a TCP source must name its port
        parsed.port = kGpsdDefaultPort;
    } else {
        parsed.port = ParsePort(portText);
        if (parsed.port == 0) return 0;
    }
    *source = parsed;
    return 1;
}

SourceFailure ReadSerialSource(const std::string& hostPath, SerialSource* source)
{
    struct stat info {};
    if (hostPath.empty() || stat(hostPath.c_str(), &info) != 0) {
        // A link whose tty has gone (adapter unplugged) still names a tty: the
        // open fails now, as it should, and a later attempt may find it.
        struct stat link {};
        if (!hostPath.empty() && lstat(hostPath.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
            *source = SerialSource{};
            source->path = hostPath;
            return SourceFailure::None;
        }
        return SourceFailure::NoSuchDevice;
    }
    if (!S_ISREG(info.st_mode)) {
        *source = SerialSource{};
        source->path = hostPath;
        return SourceFailure::None;
    }
    // Opened once more without waiting, and used only if still a regular file: a
    // FIFO swapped in after the check above must not hold the opening up.
    int fd = OpenRegularFileForReading(hostPath);
    if (fd < 0) return SourceFailure::BadSourceFile;
    std::string text(kSourceFileLimit, '\0');
    ssize_t n = read(fd, text.data(), text.size());
    close(fd);
    if (n <= 0) return SourceFailure::BadSourceFile;
    text.resize(static_cast<size_t>(n));
    SerialSource parsed;
    if (!ParseNetworkSource(text, &parsed)) return SourceFailure::BadSourceFile;
    parsed.path = hostPath;
    *source = parsed;
    return SourceFailure::None;
}

int OpenTtyExclusive(const std::string& path, int* error)
{
    int unused = 0;
    int& e = error != nullptr ? *error : unused;
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        e = errno;
        return -1;
    }
    // A second open of the device fails from now on (EBUSY) for everyone but
    // the superuser; the lock below holds against the superuser too.
    if (ioctl(fd, TIOCEXCL) != 0) {
        e = errno;
        close(fd);
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        e = errno == EWOULDBLOCK ? EBUSY : errno;
        close(fd);
        return -1;
    }
    return fd;
}

int ConnectNetworkSource(const SerialSource& source, int releaseFd, int timeoutMs, int* error)
{
    int unused = 0;
    int& e = error != nullptr ? *error : unused;
    e = EHOSTUNREACH;
    for (size_t i = 0; i < source.addresses.size(); ++i) {
        const sockaddr_storage& address = source.addresses[i];
        int fd = socket(address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) {
            e = errno;
            continue;
        }
        int r = connect(fd, reinterpret_cast<const sockaddr*>(&address), source.addressLengths[i]);
        if (r != 0) e = errno;
        if (r != 0 && errno == EINPROGRESS) {
            pollfd p[2] = {{fd, POLLOUT, 0}, {releaseFd, POLLIN, 0}};
            int ready;
            do {
                ready = poll(p, releaseFd >= 0 ? 2 : 1, timeoutMs);
            } while (ready < 0 && errno == EINTR);
            if (ready > 0 && releaseFd >= 0 && (p[1].revents & POLLIN) != 0) {
                close(fd);
                e = ECANCELED;
                return -1;  // released: the port is being closed or its wait ended
            }
            int soError = 0;
            socklen_t length = sizeof soError;
            e = ready == 0 ? ETIMEDOUT : EHOSTUNREACH;
            if (ready > 0 && (p[0].revents & POLLOUT) != 0 &&
                getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length) == 0) {
                if (soError == 0) r = 0;
                else e = soError;
            }
        }
        if (r != 0) {
            close(fd);
            continue;
        }
        // A peer that vanishes without closing (a phone leaving the network)
        // shows as an error after about 25 s of silence, which starts the
        // same recovery as a closed connection.
        int on = 1, idle = 10, interval = 5, probes = 3;
        setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
        setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
        setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
        setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &probes, sizeof probes);
        if (source.kind == SerialSourceKind::Gpsd &&
            !SendAll(fd, kGpsdWatchRequest, sizeof kGpsdWatchRequest - 1, timeoutMs)) {
            e = EPIPE;
            close(fd);
            continue;
        }
        return fd;
    }
    return -1;
}

std::string DeviceHolders(const std::string& path)
{
    char real[PATH_MAX];
    if (realpath(path.c_str(), real) == nullptr) return {};
    const std::string target = real;
    std::string holders;
    DIR* proc = opendir("/proc");
    if (proc == nullptr) return {};
    while (dirent* entry = readdir(proc)) {
        const char* name = entry->d_name;
        if (name[0] < '1' || name[0] > '9') continue;
        const std::string base = std::string("/proc/") + name;
        DIR* fds = opendir((base + "/fd").c_str());
        if (fds == nullptr) continue;  // another user's process, or gone
        bool holds = false;
        while (dirent* fd = readdir(fds)) {
            if (fd->d_name[0] == '.') continue;
            char link[PATH_MAX];
            const ssize_t n = readlink((base + "/fd/" + fd->d_name).c_str(), link, sizeof link - 1);
            if (n > 0 && std::string(link, static_cast<size_t>(n)) == target) {
                holds = true;
                break;
            }
        }
        closedir(fds);
        if (!holds) continue;
        std::string command;
        if (FILE* comm = std::fopen((base + "/comm").c_str(), "r")) {
            char text[64] = {};
            if (std::fgets(text, sizeof text, comm) != nullptr) command = text;
            std::fclose(comm);
        }
        while (!command.empty() && (command.back() == '\n' || command.back() == ' ')) command.pop_back();
        if (!holders.empty()) holders += ", ";
        holders += (command.empty() ? std::string("?") : command) + " (pid " + name + ")";
    }
    closedir(proc);
    return holders;
}

std::string OpenFailureWords(const std::string& path, SourceFailure failure, int error)
{
    switch (failure) {
    case SourceFailure::None: return "opened";
    case SourceFailure::NoSuchDevice: return "no such device (receiver unplugged or not yet there)";
    case SourceFailure::BadSourceFile:
        return "the file is not a source line such as tcp://HOST:PORT or gpsd://HOST[:PORT]";
    case SourceFailure::Refused: {
        std::string groupName = "dialout";
        struct stat info {};
        struct group entry {};
        struct group* found = nullptr;
        char buffer[4096];
        if (stat(path.c_str(), &info) == 0 && info.st_gid != 0 &&
            getgrgid_r(info.st_gid, &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr)
            groupName = found->gr_name;
        return "permission denied: add yourself to the " + groupName + " group (sudo adduser $USER " + groupName +
               ", then log in again)";
    }
    case SourceFailure::Busy: {
        const std::string holders = DeviceHolders(path);
        return "busy: held by " + (holders.empty() ? std::string("a process this user cannot see (gpsd or "
                                                                 "ModemManager run as root?)")
                                                   : holders);
    }
    case SourceFailure::NotATty: return "not a serial device";
    case SourceFailure::Unresolved: return "host name not found";
    case SourceFailure::NotConnected:
    case SourceFailure::Other: return std::strerror(error);
    }
    return std::strerror(error);
}
