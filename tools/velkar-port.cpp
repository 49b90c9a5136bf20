// velkar-port: sets up the navigator's receiver. "list" shows the serial devices a
// receiver can be and what each sends; "use" points "COMn:" of a device root at a
// device or a network source and writes comPort and baudRate into its settings
// file. Over the navigation core (settings, atomic saves) and the POSIX serial code.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tool_message.h"
#include "base/text.h"
#include "platform/files.h"
#include "platform/posix/serial_probe.h"
#include "platform/posix/serial_source.h"
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
    "      source keeps the baud rate the file has. Missing folders are created; both\n"
    "      files are replaced atomically.\n"
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

// What <root>/dev/COMn held, so that a failed settings save can put it back.
struct Entry {
    bool present = false;
    bool link = false;
    std::string text;  // link target or file content
};

Entry ReadEntry(const std::string& path)
{
    Entry e;
    struct stat info {};
    if (lstat(path.c_str(), &info) != 0) return e;
    e.present = true;
    if (S_ISLNK(info.st_mode)) {
        std::error_code ec;
        e.link = true;
        e.text = fs::read_symlink(path, ec).string();
        return e;
    }
    std::stringstream content;
    content << std::ifstream(path, std::ios::binary).rdbuf();
    e.text = content.str();
    return e;
}

// Replaces path by a symbolic link to target without a moment in which path is
// missing: the link is made under a temporary name and renamed over it.
int ReplaceWithLink(const std::string& path, const std::string& target)
{
    const std::string temp = path + ".tmp-velkar-port";
    unlink(temp.c_str());
    if (symlink(target.c_str(), temp.c_str()) != 0) return 0;
    if (rename(temp.c_str(), path.c_str()) != 0) {
        unlink(temp.c_str());
        return 0;
    }
    return 1;
}

int WriteEntry(int com, const std::string& host, const Entry& e)
{
    if (e.link) return ReplaceWithLink(host, e.text);
    char16_t device[16];
    FormatText(device, 16, "\\dev\\COM%d", com);
    return ReplaceTextFile(device, Utf8ToText(e.text).c_str());
}

int Use(const std::string& target, long long com, long long baud, const std::string& root, int listenMs)
{
    SetDeviceRoot(root);
    const std::string settingsHost = DevicePathToHost(kSettingsPath);
    std::error_code ec;
    if (fs::exists(settingsHost, ec) && !LoadSettings())
        return Fail("cannot read " + settingsHost + "; nothing changed");

    Entry entry;
    std::string said;
    SerialSource source;
    if (target.rfind("tcp://", 0) == 0 || target.rfind("gpsd://", 0) == 0) {
        if (!ParseNetworkSource(target, &source))
            return Fail("'" + target + "' is not tcp://HOST:PORT or gpsd://HOST[:PORT]");
        entry.present = true;
        entry.text = source.url + "\n";
        said = source.url;
        if (baud < 0) baud = settings.baudRate;
    } else {
        struct stat info {};
        if (stat(target.c_str(), &info) != 0) return Fail(target + ": no such device");
        if (!S_ISCHR(info.st_mode)) return Fail(target + ": not a serial device");
        const SerialCandidate c = DescribeSerialDevice(target);
        entry.present = entry.link = true;
        entry.text = !c.byId.empty() ? c.byId : fs::absolute(target, ec).lexically_normal().string();
        said = entry.text;
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
    char16_t device[16];
    FormatText(device, 16, "\\dev\\COM%d", static_cast<int>(com));
    const std::string entryHost = DevicePathToHost(device);
    const Entry old = ReadEntry(entryHost);
    if (!WriteEntry(static_cast<int>(com), entryHost, entry)) return Fail("cannot write " + entryHost + "; nothing changed");

    settings.comPort = static_cast<int32_t>(com);
    settings.baudRate = static_cast<int32_t>(baud);
    if (!SaveSettings()) {
        // Put the old entry back; the settings file was left whole by the save.
        if (old.present) WriteEntry(static_cast<int>(com), entryHost, old);
        else unlink(entryHost.c_str());
        return Fail("cannot write " + settingsHost + "; nothing changed");
    }
    std::printf("COM%lld: is %s at %lld bit/s (%s, %s)\n", com, said.c_str(), baud, entryHost.c_str(),
                settingsHost.c_str());
    return kExitOk;
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
