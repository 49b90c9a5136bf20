// Receiver set-up on Linux: candidates from /dev/serial/by-id, ttyACM, ttyUSB and
// the ttyS ports whose UART the kernel found (/sys/class/tty/ttySn/type not 0);
// access(2) for who may open them, /proc for who holds them; speeds tried with
// termios while listening with poll(), nothing written to the device.
#include "platform/posix/serial_probe.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <set>

#include "platform/clock.h"
#include "platform/posix/serial_source.h"

namespace {

constexpr size_t kLineLimit = 120;     // an NMEA line is at most 82 characters; longer is noise
constexpr int kSentencesWanted = 2;    // valid sentences that settle a speed

std::string RealPath(const std::string& path)
{
    char real[PATH_MAX];
    return realpath(path.c_str(), real) != nullptr ? std::string(real) : path;
}

std::vector<std::string> Entries(const std::string& folder)
{
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir))
            if (e->d_name[0] != '.') names.push_back(e->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// A UART the kernel found reports a type other than 0 (PORT_UNKNOWN).
bool UartPresent(const std::string& name)
{
    std::ifstream type("/sys/class/tty/" + name + "/type");
    int value = 0;
    return static_cast<bool>(type >> value) && value != 0;
}

}  // namespace

int ValidNmeaLine(const std::string& text, std::string* type)
{
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    // $ body * h h
    if (line.size() < 5 || line.size() > kLineLimit || line[0] != '$') return 0;
    const size_t star = line.size() - 3;
    if (line[star] != '*') return 0;
    const int high = HexDigit(line[star + 1]), low = HexDigit(line[star + 2]);
    if (high < 0 || low < 0) return 0;
    unsigned sum = 0;
    for (size_t i = 1; i < star; ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 || c > 0x7E || c == '$' || c == '*') return 0;  // printable ASCII only
        sum ^= c;
    }
    if (sum != static_cast<unsigned>(high * 16 + low)) return 0;
    const std::string address = line.substr(1, line.find(',') == std::string::npos ? star - 1 : line.find(',') - 1);
    if (address.size() < 3) return 0;
    // "GPGGA" -> "GGA" (talker and type); a proprietary "PUBX" stays whole.
    *type = address[0] == 'P' ? address : address.substr(2);
    return 1;
}

SerialCandidate DescribeSerialDevice(const std::string& path)
{
    SerialCandidate c;
    c.path = path;
    const std::string real = RealPath(path);
    for (const std::string& name : Entries("/dev/serial/by-id")) {
        const std::string link = "/dev/serial/by-id/" + name;
        if (RealPath(link) == real) {
            c.byId = link;
            break;
        }
    }
    c.mayOpen = access(path.c_str(), R_OK | W_OK) == 0;
    c.holders = DeviceHolders(path);
    return c;
}

std::vector<SerialCandidate> ListSerialCandidates()
{
    std::vector<std::string> paths;
    std::set<std::string> seen;
    auto add = [&](const std::string& path) {
        if (access(path.c_str(), F_OK) != 0 || !seen.insert(RealPath(path)).second) return;
        paths.push_back(path);
    };
    for (const std::string& name : Entries("/dev"))
        if (name.rfind("ttyACM", 0) == 0 || name.rfind("ttyUSB", 0) == 0) add("/dev/" + name);
    // By-id links of devices that are neither (a receiver on another driver).
    for (const std::string& name : Entries("/dev/serial/by-id")) add(RealPath("/dev/serial/by-id/" + name));
    for (const std::string& name : Entries("/dev"))
        if (name.rfind("ttyS", 0) == 0 && UartPresent(name)) add("/dev/" + name);
    std::vector<SerialCandidate> out;
    for (const std::string& path : paths) out.push_back(DescribeSerialDevice(path));
    return out;
}

ProbeResult ProbeSerialSpeed(const std::string& path, const std::vector<uint32_t>& speeds, int listenMs)
{
    ProbeResult result;
    int error = 0;
    const int fd = OpenTtyExclusive(path, &error);
    if (fd < 0) {
        SourceFailure failure = SourceFailure::Other;
        if (error == ENOENT || error == ENXIO || error == ENODEV) failure = SourceFailure::NoSuchDevice;
        if (error == EACCES || error == EPERM) failure = SourceFailure::Refused;
        if (error == EBUSY) failure = SourceFailure::Busy;
        if (error == ENOTTY) failure = SourceFailure::NotATty;
        result.why = OpenFailureWords(path, failure, error);
        return result;
    }
    for (uint32_t speed : speeds) {
        speed_t code;
        termios t{};
        if (!SpeedToTtyCode(speed, &code) || tcgetattr(fd, &t) != 0) continue;
        cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        t.c_cflag &= ~(CRTSCTS | CSTOPB);
        if (cfsetispeed(&t, code) != 0 || cfsetospeed(&t, code) != 0 || tcsetattr(fd, TCSANOW, &t) != 0) continue;
        tcflush(fd, TCIFLUSH);  // what came at the previous speed
        std::set<std::string> types;
        int valid = 0;
        std::string line;
        bool aligned = false;  // the first line after the switch may be cut: skipped
        const int64_t end = MonotonicMs() + listenMs;
        for (int64_t left; valid < kSentencesWanted && (left = end - MonotonicMs()) > 0;) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
            char buffer[256];
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n <= 0) {
                if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
                break;  // hung up
            }
            for (ssize_t i = 0; i < n; ++i) {
                const char c = buffer[i];
                if (c == '$') aligned = true, line.clear();
                if (!aligned) continue;
                if (c == '\n' || c == '\r') {
                    std::string type;
                    if (ValidNmeaLine(line, &type)) ++valid, types.insert(type);
                    line.clear();
                    aligned = false;
                    continue;
                }
                if (line.size() < kLineLimit) line.push_back(c);
            }
        }
        if (valid >= kSentencesWanted) {
            result.found = 1;
            result.speed = speed;
            result.types.assign(types.begin(), types.end());
            break;
        }
    }
    close(fd);
    return result;
}
