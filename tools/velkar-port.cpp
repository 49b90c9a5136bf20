// velkar-port: sets up the navigator's receiver. "list" shows the serial devices a
// receiver can be and what each sends; "use" points "COMn:" of a device root at a
// device or a network source and writes comPort and baudRate into its settings
// file. Over the navigation core (settings, atomic saves) and the POSIX serial code.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "tool_message.h"
#include "base/text.h"
#include "platform/files.h"
#include "platform/instance_probe.h"
#include "platform/root_lock.h"
#include "platform/posix/serial_probe.h"
#include "platform/posix/serial_source.h"
#include "store/exit_save.h"
#include "store/settings.h"

namespace fs = std::filesystem;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 2;        // usage, a device or file that cannot be used; nothing written
constexpr int kDefaultListenMs = 1500;  // per speed: a receiver talks at least once a second

const char kHelp[] =
    "usage: velkar-port list [DEVICE ...] [--listen MS]\n"
    "       velkar-port use DEVICE|tcp://HOST:PORT|gpsd://HOST[:PORT] [--com N] [--baud B]\n"
    "                   [--root DIR] [--listen MS]\n"
    "\n"
    "list  shows the serial devices a GPS receiver can be (/dev/serial/by-id/*,\n"
    "      ttyACM, ttyUSB, and the ttyS ports whose UART the kernel found), or the\n"
    "      DEVICEs named: the stable by-id name, whether you may open it, who holds\n"
    "      it, and at which of 4800 9600 19200 38400 57600 115200 bit/s it sends NMEA\n"
    "      with valid checksums, with the sentence types seen. Listening takes MS\n"
    "      milliseconds per speed (default 1500).\n"
    "use   makes \"COMn:\" of the device root DIR (default $XDG_DATA_HOME/velkar, else\n"
    "      ~/.local/share/velkar) the receiver: <DIR>/dev/COMn becomes a link to the\n"
    "      device (its by-id name when it has one) or a one-line file naming the\n"
    "      network source, and comPort (N, default 1) and baudRate go into\n"
    "      \"My Documents/Velkar/vlcfg.cfg\", its other seven values kept. Without\n"
    "      --baud the speed of a device is found by listening as list does; a network\n"
    "      source keeps the baud rate the file has. Missing folders are created; the\n"
    "      settings are written first, then the entry replaced (never what a link\n"
    "      points at), both atomically, while holding the device root's lock (another\n"
    "      program holding it is waited for up to 10 s). A navigator running on the\n"
    "      root takes the new receiver within 2 s.\n"
    "\n"
    "Exit status 0; 2 with a one-line message when anything cannot be done, and then\n"
    "the settings file and the COMn entry are as they were.\n";

int Fail(const std::string& message) { return ToolMessage("velkar-port", message, kExitFailed); }

int ParseWhole(const std::string& text, long long low, long long high, long long* out)
{
    if (text.empty() || text.size() > 10) return 0;
    long long v = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return 0;
        v = v * 10 + (c - '0');
    }
    if (v < low || v > high) return 0;
    *out = v;
    return 1;
}

std::string SpeedList()
{
    std::string text;
    for (uint32_t s : kProbeSpeeds) text += (text.empty() ? "" : " ") + std::to_string(s);
    return text;
}

std::string Joined(const std::vector<std::string>& words)
{
    std::string text;
    for (const std::string& w : words) text += (text.empty() ? "" : " ") + w;
    return text;
}

void PrintCandidate(const SerialCandidate& c, int listenMs)
{
    std::printf("%s\n", c.path.c_str());
    std::printf("  by-id:   %s\n", c.byId.empty() ? "none" : c.byId.c_str());
    std::printf("  access:  %s\n", c.mayOpen ? "read and write"
                                             : ("no: " + OpenFailureWords(c.path, SourceFailure::Refused, EACCES)).c_str());
    std::printf("  held by: %s\n", c.holders.empty() ? "nobody seen" : c.holders.c_str());
    const ProbeResult r = ProbeSerialSpeed(c.path, {std::begin(kProbeSpeeds), std::end(kProbeSpeeds)}, listenMs);
    if (!r.why.empty()) std::printf("  sends:   not probed: %s\n", r.why.c_str());
    else if (r.found) std::printf("  sends:   NMEA at %u bit/s: %s\n", r.speed, Joined(r.types).c_str());
    else std::printf("  sends:   no NMEA with valid checksums at %s bit/s\n", SpeedList().c_str());
    std::fflush(stdout);
}

int List(const std::vector<std::string>& devices, int listenMs)
{
    for (const std::string& d : devices)
        if (access(d.c_str(), F_OK) != 0) return Fail(d + ": no such device");
    std::vector<SerialCandidate> candidates;
    if (devices.empty()) candidates = ListSerialCandidates();
    for (const std::string& d : devices) candidates.push_back(DescribeSerialDevice(d));
    if (candidates.empty()) std::printf("no serial devices found (is the receiver plugged in?)\n");
    for (const SerialCandidate& c : candidates) PrintCandidate(c, listenMs);
    return kExitOk;
}

// Replaces the entry <root>/dev/COMn itself, whatever it was (a link, plugged or
// dangling, a file, a FIFO), never what a link points at: the new link or
// one-line file is made under a fresh name of this program's and renamed over it.
int ReplaceEntry(const std::string& path, bool link, const std::string& text)
{
    const size_t slash = path.rfind('/');
    const std::string folder = path.substr(0, slash);
    const std::string temp = folder + "/" + TemporaryFileName(path.substr(slash + 1));
    if (link) {
        if (symlink(text.c_str(), temp.c_str()) != 0) return 0;
    } else {
        const int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd < 0) return 0;
        const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) && fsync(fd) == 0;
        if (close(fd) != 0 || !written) {
            unlink(temp.c_str());
            return 0;
        }
    }
    if (rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return 0;
    }
    const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return 1;
}

// The settings file's bytes as they are, to be put back when the entry cannot be
// written; *existed 0 when there is none.
int ReadWholeFile(const std::string& path, std::string* bytes, bool* existed)
{
    struct stat info {};
    *existed = stat(path.c_str(), &info) == 0;
    if (!*existed) return 1;
    const int fd = OpenRegularFileForReading(path);
    if (fd < 0) return 0;
    char chunk[4096];
    ssize_t n;
    while ((n = read(fd, chunk, sizeof chunk)) > 0) bytes->append(chunk, static_cast<size_t>(n));
    close(fd);
    return n == 0;
}

// The part of "use" that reads, changes and replaces the files: the settings
// first, then the entry; when the entry cannot be written the settings are put
// back, so that a kill at any moment leaves no entry without its settings.
int UseLocked(int com, long long baud, bool link, const std::string& entryText, const std::string& said)
{
    const std::string settingsHost = DevicePathToHost(kSettingsPath);
    std::string why, oldSettings;
    bool existed = false;
    if (!RecordFileReadable(settingsHost, &why)) return Fail(settingsHost + " is " + why + "; nothing changed");
    if (!ReadWholeFile(settingsHost, &oldSettings, &existed) || (existed && !LoadSettings()))
        return Fail("cannot read " + settingsHost + "; nothing changed");
    char16_t device[16];
    FormatText(device, 16, "\\dev\\COM%d", com);
    const std::string entryHost = DevicePathToHost(device);
    struct stat info {};
    if (lstat(entryHost.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return Fail(entryHost + " is a folder; nothing changed");
    if (baud < 0) baud = settings.baudRate;  // a network source keeps the file's speed
    settings.comPort = com;
    settings.baudRate = static_cast<int32_t>(baud);
    if (!SaveSettings()) return Fail("cannot write " + settingsHost + "; nothing changed");
    if (!ReplaceEntry(entryHost, link, entryText)) {
        const std::string failure = std::strerror(errno);
        if (existed) ReplaceHostFile(settingsHost, oldSettings);
        else unlink(settingsHost.c_str());
        return Fail("cannot write " + entryHost + " (" + failure + "); nothing changed");
    }
    std::printf("COM%d: is %s at %lld bit/s (%s, %s)\n", com, said.c_str(), baud, entryHost.c_str(),
                settingsHost.c_str());
    if (NavigatorRunsOnRoot(DeviceRoot()))
        std::printf("a navigator runs on %s: it takes the new receiver within 2 s\n", DeviceRoot().c_str());
    return kExitOk;
}

int Use(const std::string& target, long long com, long long baud, const std::string& root, int listenMs)
{
    SetDeviceRoot(root);
    SetTemporaryOwner("velkar-port");
    std::error_code ec;
    bool link = false;
    std::string entryText, said;
    SerialSource source;
    if (target.rfind("tcp://", 0) == 0 || target.rfind("gpsd://", 0) == 0) {
        if (!ParseNetworkSource(target, &source))
            return Fail("'" + target + "' is not tcp://HOST:PORT or gpsd://HOST[:PORT]");
        entryText = source.url + "\n";
        said = source.url;
    } else {
        struct stat info {};
        if (stat(target.c_str(), &info) != 0) return Fail(target + ": no such device");
        if (!S_ISCHR(info.st_mode)) return Fail(target + ": not a serial device");
        const SerialCandidate c = DescribeSerialDevice(target);
        link = true;
        entryText = !c.byId.empty() ? c.byId : fs::absolute(target, ec).lexically_normal().string();
        said = entryText;
        if (baud < 0) {
            const ProbeResult r = ProbeSerialSpeed(target, {std::begin(kProbeSpeeds), std::end(kProbeSpeeds)}, listenMs);
            if (!r.why.empty()) return Fail(target + ": " + r.why + "; nothing changed");
            if (!r.found)
                return Fail(target + ": no NMEA with valid checksums at " + SpeedList() +
                            " bit/s; give the speed with --baud B");
            baud = r.speed;
        }
    }

    if (!EnsureDeviceRootFolders()) return Fail("cannot create the folders of the device root " + root);
    for (const char16_t* folder : {u"\\My Documents\\Velkar", u"\\dev"})
        RemoveLeftoverTemporaries(DevicePathToHost(folder));
    std::string holder;
    const int lock = LockDeviceRoot(kRootLockWaitMs, "velkar-port", &holder);
    if (lock < 0 && !holder.empty())
        return Fail("the device root " + root + " is held by " + holder + " (waited 10 s); nothing changed");
    const int result = UseLocked(static_cast<int>(com), baud, link, entryText, said);
    UnlockDeviceRoot(lock);
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) return Fail("a command is needed: list or use (try --help)");
    if (args[0] == "--help" || args[0] == "-h") {
        std::fputs(kHelp, stdout);
        return kExitOk;
    }
    const std::string command = args[0];
    if (command != "list" && command != "use") return Fail("unknown command '" + command + "' (try --help)");
    std::vector<std::string> positional;
    long long com = -1, baud = -1, listenMs = kDefaultListenMs;
    std::string root;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        const bool hasValue = i + 1 < args.size();
        if (a == "--com" || a == "--baud" || a == "--root" || a == "--listen") {
            if (!hasValue) return Fail("option " + a + " needs a value");
            const std::string value = args[++i];
            if (a == "--com" && (command != "use" || !ParseWhole(value, 1, 5, &com)))
                return Fail("--com needs a port number 1 to 5 (use only), not '" + value + "'");
            if (a == "--baud" && (command != "use" || !ParseWhole(value, 1, 4000000, &baud) ||
                                  !TtySpeedKnown(static_cast<uint32_t>(baud))))
                return Fail("--baud needs a speed a serial port takes, such as 4800 or 9600, not '" + value + "'");
            if (a == "--root") {
                if (command != "use" || value.empty()) return Fail("--root needs a folder (use only)");
                root = value;
            }
            if (a == "--listen" && !ParseWhole(value, 1, 60000, &listenMs))
                return Fail("--listen needs milliseconds 1 to 60000, not '" + value + "'");
        } else if (a.rfind("--", 0) == 0) {
            return Fail("unknown option '" + a + "' (try --help)");
        } else {
            positional.push_back(a);
        }
    }
    if (command == "list") return List(positional, static_cast<int>(listenMs));
    if (positional.size() != 1) return Fail("use needs one DEVICE, tcp://HOST:PORT or gpsd://HOST[:PORT]");
    if (com < 0) com = 1;
    return Use(positional[0], com, baud, root.empty() ? DeviceRootDefault() : root, static_cast<int>(listenMs));
}
