// Opening and closing serial ports: a port name ("COM1:") resolved through the
// device root's dev/COMn entry (a link to a tty, or a one-line file naming a
// network source) or the ttyS fallback, a slot of the fixed table claimed with a
// new generation, and the words said under -v when a device cannot be opened.
#include "platform/serial.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include "base/text.h"
#include "platform/clock.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/posix/serial_port_slot.h"
#include "platform/posix/serial_probe.h"
#include "platform/posix/serial_source.h"

using namespace serial_slots;

namespace serial_slots {

PortSlot* Slots()
{
    static PortSlot* slots = new PortSlot[kPortSlots];
    return slots;
}

PortSlot* Acquire(PortHandle port, std::unique_lock<std::mutex>& guard)
{
    if (port < kPortSlots) return nullptr;  // kInvalidPort included
    PortSlot& s = Slots()[port % kPortSlots];
    guard = std::unique_lock<std::mutex>(s.lock);
    if (!s.open || s.closing || static_cast<PortHandle>(s.generation) != port / kPortSlots) {
        guard.unlock();
        return nullptr;
    }
    return &s;
}

void Signal(int eventFd)
{
    uint64_t one = 1;
    ssize_t n = write(eventFd, &one, sizeof one);
    (void)n;  // a full counter is still readable, which is all a waiter needs
}

void Drain(int eventFd)
{
    uint64_t count;
    while (read(eventFd, &count, sizeof count) > 0) {
    }
}

bool IsTtySFallback(const std::string& path) { return path.rfind("/dev/ttyS", 0) == 0; }

Opening OpenPortName(const std::u16string& portName, bool entryOnly, bool connect, int release, int connectMs,
                     const SerialLineSettings* line, bool dtr, bool rts)
{
    Opening o;
    const std::string path = SerialDevicePath(portName.c_str());
    o.what = path;
    o.viaEntry = !IsTtySFallback(path);
    if (entryOnly && !o.viaEntry) {
        // The port had its dev/COMn entry: while the entry is gone, the port
        // waits for it rather than taking a ttyS port that was never meant.
        o.what = "the device root's dev entry for " + TextToUtf8(portName.c_str());
        o.failure = SourceFailure::NoSuchDevice;
        return o;
    }
    o.failure = ReadSerialSource(path, &o.source);
    if (o.failure != SourceFailure::None) return o;
    if (o.source.kind != SerialSourceKind::Tty) {
        o.what = o.source.url;
        if (!connect) return o;
        if (!ResolveNetworkAddresses(&o.source)) {
            o.failure = SourceFailure::Unresolved;
            return o;
        }
        o.fd = ConnectNetworkSource(o.source, release, connectMs, &o.error);
        if (o.fd < 0) o.failure = SourceFailure::NotConnected;
        return o;
    }
    o.fd = OpenTtyExclusive(path, &o.error);
    if (o.fd < 0) {
        switch (o.error) {
        case ENOENT: case ENXIO: case ENODEV: o.failure = SourceFailure::NoSuchDevice; break;
        case EACCES: case EPERM: o.failure = SourceFailure::Refused; break;
        case EBUSY: o.failure = SourceFailure::Busy; break;
        case ENOTTY: o.failure = SourceFailure::NotATty; break;
        default: o.failure = SourceFailure::Other; break;
        }
        return o;
    }
    if (line != nullptr) {
        termios applied{};
        if (!ApplyLineSettings(o.fd, *line, &applied)) {
            close(o.fd);
            o.fd = -1;
            o.failure = SourceFailure::Other;
            o.error = EINVAL;  // the tty does not take this speed or size
            return o;
        }
    }
    int dtrBit = TIOCM_DTR, rtsBit = TIOCM_RTS;
    if (dtr) ioctl(o.fd, TIOCMBIS, &dtrBit);  // results ignored, as at the first opening
    if (rts) ioctl(o.fd, TIOCMBIS, &rtsBit);
    return o;
}

int32_t FailureCode(SourceFailure failure)
{
    switch (failure) {
    case SourceFailure::None: return kSerialOpened;
    case SourceFailure::NoSuchDevice: case SourceFailure::BadSourceFile: return kSerialAbsent;
    case SourceFailure::Refused: return kSerialRefused;
    case SourceFailure::Busy: return kSerialBusy;
    default: return kSerialNotUsable;
    }
}

// Says once per change why the port's device cannot be opened; retrying: said
// by the wait, which tries again.
void SayFailure(PortSlot& s, const Opening& o, bool retrying)
{
    std::string words = OpenFailureWords(o.source.kind == SerialSourceKind::Tty ? o.what : o.source.host, o.failure,
                                         o.error);
    if (o.failure == SourceFailure::Other && o.error == EINVAL && o.fd < 0)
        words = "the tty does not take " + std::to_string(s.line.baudRate) + " bit/s";
    const std::string line = o.what + ": " + words;
    if (line == s.lastWords) return;
    s.lastWords = line;
    VerboseLine("%s cannot open %s%s", s.label.c_str(), line.c_str(),
                retrying ? "; trying again about once a second" : "");
}

std::string EntrySignature(const std::u16string& portName)
{
    const std::string path = SerialDevicePath(portName.c_str());
    struct stat info {};
    if (path.empty() || IsTtySFallback(path) || lstat(path.c_str(), &info) != 0) return "";
    std::string signature = std::to_string(info.st_ino) + ":" + std::to_string(info.st_ctim.tv_sec) + "." +
                            std::to_string(info.st_ctim.tv_nsec);
    char target[4096];
    const ssize_t n = readlink(path.c_str(), target, sizeof target);
    if (n > 0) signature += ">" + std::string(target, static_cast<size_t>(n));
    return signature;
}

}  // namespace serial_slots

std::string SerialDevicePath(const char16_t* portName)
{
    // "COMn:" with n 1 to 255.
    if (portName == nullptr || portName[0] != u'C' || portName[1] != u'O' || portName[2] != u'M') return {};
    int n = 0, digits = 0;
    const char16_t* p = portName + 3;
    while (*p >= u'0' && *p <= u'9' && digits < 4) {
        n = n * 10 + (*p - u'0');
        ++p;
        ++digits;
    }
    if (digits == 0 || *p != u':' || p[1] != 0 || n < 1 || n > 255) return {};
    char16_t devicePath[16];
    FormatText(devicePath, 16, "\\dev\\COM%d", n);
    std::string link = DevicePathToHost(devicePath);
    struct stat info {};
    if (lstat(link.c_str(), &info) == 0) return link;
    return "/dev/ttyS" + std::to_string(n - 1);
}

namespace {

// Says what a port name stands for: the entry under the device root and where
// it leads, or the ttyS fallback.
void SayResolution(const std::string& label, const std::string& path)
{
    if (!VerboseEnabled()) return;
    if (IsTtySFallback(path)) {
        VerboseLine("%s is %s (no dev/COMn entry under the device root)", label.c_str(), path.c_str());
        return;
    }
    char target[4096];
    const ssize_t n = readlink(path.c_str(), target, sizeof target - 1);
    if (n > 0) {
        VerboseLine("%s is %s -> %s", label.c_str(), path.c_str(), std::string(target, static_cast<size_t>(n)).c_str());
        return;
    }
    SerialSource source;
    if (ReadSerialSource(path, &source) == SourceFailure::None && source.kind != SerialSourceKind::Tty) {
        VerboseLine("%s is %s naming %s", label.c_str(), path.c_str(), source.url.c_str());
        return;
    }
    VerboseLine("%s is %s", label.c_str(), path.c_str());
}

}  // namespace

PortHandle OpenSerialDevice(const char16_t* portName, int32_t* failure)
{
    *failure = kSerialAbsent;
    const std::u16string name = portName != nullptr ? std::u16string(portName) : std::u16string();
    const std::string label = TextToUtf8(name.c_str());
    const std::string path = SerialDevicePath(name.c_str());
    if (path.empty()) {
        VerboseLine("\"%s\" is not a port name COM1: to COM255:", label.c_str());
        return kInvalidPort;
    }
    SayResolution(label, path);
    // A tty is tried at once (opening one does not block); a network source is
    // looked up and connected by the first wait, on the reader thread.
    Opening o = OpenPortName(name, false, false, -1, 0, nullptr, false, false);
    for (int i = 0; i < kPortSlots; ++i) {
        PortSlot& s = Slots()[i];
        std::lock_guard<std::mutex> guard(s.lock);
        if (s.open || s.closing) continue;
        if (s.release < 0) s.release = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (s.release < 0) break;
        Drain(s.release);
        ++s.generation;
        if (s.generation > static_cast<uint32_t>(INTPTR_MAX / kPortSlots) - 1) s.generation = 1;
        s.open = true;
        s.busy = 0;
        s.device = o.fd;
        s.kind = o.source.kind;
        s.vanished = false;
        s.receivedAt = s.receivedEnd = 0;
        s.portName = name;
        s.label = label;
        s.what = o.what;
        s.nextAttemptMs = MonotonicMs() + (o.failure == SourceFailure::None ? 0 : kRetryMs);
        s.lastInputMs = MonotonicMs();
        s.everOpened = o.fd >= 0;
        s.entrySeen = o.viaEntry;
        s.entrySignature = EntrySignature(name);
        s.bannerChecked = false;
        s.nextMoveCheckMs = MonotonicMs() + kMoveCheckMs;
        // A tty that failed here is told to the user by the caller; a network
        // source's first failure is reported by the wait that meets it.
        s.failureReported = o.source.kind == SerialSourceKind::Tty;
        s.lastWords.clear();
        s.mask = 0;
        s.line = SerialLineSettings{};
        s.line.flags = kLineBinary | kLineDtrEnabled | kLineRtsEnabled;
        s.line.byteSize = 8;
        s.lineWritten = false;
        s.timeouts = SerialTimeouts{};
        s.dtrRaised = s.rtsRaised = false;
        if (o.fd >= 0) VerboseLine("%s opened %s", label.c_str(), o.what.c_str());
        else if (o.failure != SourceFailure::None) SayFailure(s, o, false);
        *failure = FailureCode(o.failure);
        return static_cast<PortHandle>(s.generation) * kPortSlots + i;
    }
    if (o.fd >= 0) close(o.fd);
    VerboseLine("%s too many ports open", label.c_str());
    return kInvalidPort;
}

int CloseSerialDevice(PortHandle port)
{
    std::unique_lock<std::mutex> guard;
    PortSlot* s = Acquire(port, guard);
    if (s == nullptr) return 0;
    s->closing = true;
    if (s->busy > 0 || s->attempting > 0) Signal(s->release);  // an attempt's connect ends too
    if (s->busy > 0) s->idle.wait(guard, [s] { return s->busy == 0; });
    int ok = 1;
    if (s->device >= 0) ok = close(s->device) == 0 ? 1 : 0;
    s->device = -1;
    s->receivedAt = s->receivedEnd = 0;
    Drain(s->release);
    s->open = false;
    s->closing = false;
    return ok;
}
