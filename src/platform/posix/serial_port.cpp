// Serial ports on POSIX: termios line settings, TIOCMBIS/TIOCMBIC for DTR and RTS,
// poll() event waits that an eventfd releases (mask 0, close), reads from a receive
// buffer, and a port that waits for its device: opened again from its name about
// once a second inside the wait (a network source looked up and connected there).
// Handles name slots of a fixed table with a generation, so a stale handle never
// reaches a reused descriptor.
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
#include <condition_variable>
#include <mutex>

#include "base/text.h"
#include "platform/clock.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/posix/serial_probe.h"
#include "platform/posix/serial_source.h"

namespace {

constexpr int kPortSlots = 16;
constexpr int64_t kRetryMs = 1000;          // a missing device is tried again about once a second
constexpr int kFirstConnectMs = 3000;       // a network source must answer its first connect within this
constexpr int kRetryConnectMs = 1000;       // and each later one within this
constexpr int64_t kNetworkSilenceMs = 10000;  // a network source silent this long is dropped and reopened
constexpr size_t kReceiveBuffer = 512;      // bytes taken from the device per system call

// Speeds a tty takes, in bits per second. B0 is not here: it means "hang up".
struct SpeedCode {
    uint32_t bitsPerSecond;
    speed_t code;
};
constexpr SpeedCode kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},       {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},       {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},     {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400}, {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}, {1152000, B1152000},
    {1500000, B1500000}, {2000000, B2000000}, {2500000, B2500000}, {3000000, B3000000},
    {3500000, B3500000}, {4000000, B4000000},
};

uint32_t CodeToSpeed(speed_t code)
{
    for (const SpeedCode& s : kSpeeds)
        if (s.code == code) return s.bitsPerSecond;
    return 0;
}

struct PortSlot {
    std::mutex lock;
    std::condition_variable idle;  // busy dropped to 0
    uint32_t generation = 0;       // handle = generation * kPortSlots + slot; bumped at every open
    bool open = false;
    bool closing = false;
    int busy = 0;                  // waits and blocking reads in progress (they poll unlocked)
    int attempting = 0;            // waits opening the device, unlocked and not counted busy
    int device = -1;               // -1 while the device is missing
    SerialSourceKind kind = SerialSourceKind::Tty;  // of the device open now
    bool vanished = false;         // the device went; the next wait closes it and reports the loss
    const char* lostWhy = "";
    // Received bytes not yet read: the role of the driver's receive buffer, so
    // that reads of one byte do not cost one system call each.
    unsigned char received[kReceiveBuffer];
    size_t receivedAt = 0;
    size_t receivedEnd = 0;
    int release = -1;              // eventfd, created once and kept with the slot
    std::u16string portName;       // "COM1:": resolved again at every opening
    std::string label;             // the same in UTF-8, for diagnostics
    std::string what;              // the device path or URL last opened or tried
    int64_t nextAttemptMs = 0;     // while the device is missing: when to try it next
    int64_t lastInputMs = 0;       // a network source: when bytes last came
    bool everOpened = false;
    bool entrySeen = false;        // the port name was found as a dev/COMn entry at least once
    bool failureReported = false;  // the user knows the first opening failed
    std::string lastWords;         // the last failure said, so that retries say it once
    uint32_t mask = 0;
    SerialLineSettings line{};
    bool lineWritten = false;      // line holds the settings to give a device at its opening
    SerialTimeouts timeouts{};
    bool dtrRaised = false;
    bool rtsRaised = false;
};

// Never destroyed: a reader thread may still wait on a port when the process
// ends by the Exit road.
PortSlot* Slots()
{
    static PortSlot* slots = new PortSlot[kPortSlots];
    return slots;
}

// The open record behind a handle, locked through guard; nullptr for a handle
// that is not open (never opened, closed, or from an older generation).
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

// Gives a tty the line settings (see SetSerialLineSettings); *result is what
// the tty holds afterwards. 0 when it cannot take them.
int ApplyLineSettings(int fd, const SerialLineSettings& in, termios* result);

// What one opening of a port name found.
struct Opening {
    int fd = -1;
    SerialSource source;
    SourceFailure failure = SourceFailure::None;
    int error = 0;
    std::string what;  // device path or URL
    bool viaEntry = false;  // found through <root>/dev/COMn, not the ttyS fallback
};

// SerialDevicePath's answer when <root>/dev/COMn does not exist.
bool IsTtySFallback(const std::string& path) { return path.rfind("/dev/ttyS", 0) == 0; }

// Opens the source a port name stands for now. A network source is looked up
// and connected only with connect set (never on the user-interface thread). With
// line, the tty is given those settings and the modem lines raised.
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

enum WaitEnd { kWaitFailed = 0, kWaitDone = 1, kWaitGone = 2 };

// The body of an event wait; s is locked through guard and counted busy. On
// kWaitGone the slot was closed (or reused) while it was unlocked and no longer
// counts this wait.
int WaitLocked(PortSlot& s, std::unique_lock<std::mutex>& guard, uint32_t generation, uint32_t* events)
{
    for (;;) {
        if (s.closing) return kWaitFailed;
        if (s.mask == 0) return kWaitFailed;  // nothing to wait for
        if (s.vanished) {
            if (s.device >= 0) close(s.device);
            s.device = -1;
            s.vanished = false;
            s.receivedAt = s.receivedEnd = 0;
            s.nextAttemptMs = MonotonicMs() + kRetryMs;
            s.lastWords.clear();
            VerboseLine("%s lost %s (%s); trying again about once a second", s.label.c_str(), s.what.c_str(),
                        s.lostWhy);
            *events = kEventDeviceLost;
            return kWaitDone;
        }
        if (s.device < 0) {
            const int64_t due = s.nextAttemptMs - MonotonicMs();
            if (due > 0) {
                // Missing: sleep on the release signal until the next attempt.
                pollfd p{s.release, POLLIN, 0};
                guard.unlock();
                const int ready = poll(&p, 1, static_cast<int>(std::min<int64_t>(due, kRetryMs)));
                guard.lock();
                if (s.closing) return kWaitFailed;
                if (ready > 0) {
                    Drain(s.release);
                    return kWaitDone;  // released by a mask of 0: no event
                }
                continue;
            }
            const std::u16string name = s.portName;
            const SerialLineSettings line = s.line;
            const bool lineWritten = s.lineWritten, dtr = s.dtrRaised, rts = s.rtsRaised;
            const int release = s.release;
            const int connectMs = s.everOpened ? kRetryConnectMs : kFirstConnectMs;
            const bool entryOnly = s.entrySeen;
            // Looking a host up may take long: the close does not wait for it.
            if (--s.busy == 0) s.idle.notify_all();
            ++s.attempting;
            guard.unlock();
            Opening o = OpenPortName(name, entryOnly, true, release, connectMs, lineWritten ? &line : nullptr, dtr, rts);
            guard.lock();
            --s.attempting;
            if (!s.open || s.closing || s.generation != generation) {
                if (o.fd >= 0) close(o.fd);
                return kWaitGone;
            }
            ++s.busy;
            s.what = o.what;
            s.entrySeen = s.entrySeen || o.viaEntry;
            if (o.fd >= 0) {
                s.device = o.fd;
                s.kind = o.source.kind;
                s.lastInputMs = MonotonicMs();
                VerboseLine("%s %s %s", s.label.c_str(), s.everOpened ? "reopened" : "opened", s.what.c_str());
                s.everOpened = true;
                s.failureReported = true;
                s.lastWords.clear();
                continue;
            }
            s.nextAttemptMs = MonotonicMs() + kRetryMs;
            SayFailure(s, o, true);
            if (!s.failureReported) {
                s.failureReported = true;
                *events = kEventOpenFailed;
                return kWaitDone;
            }
            continue;
        }
        if (s.receivedAt < s.receivedEnd && (s.mask & kEventRxChar) != 0) {
            *events = kEventRxChar;  // bytes taken from the device are still unread
            return kWaitDone;
        }
        int timeoutMs = -1;
        if (s.kind != SerialSourceKind::Tty)
            timeoutMs = static_cast<int>(std::max<int64_t>(0, s.lastInputMs + kNetworkSilenceMs - MonotonicMs()));
        const short wanted = (s.mask & kEventRxChar) != 0 ? POLLIN : 0;
        pollfd p[2] = {{s.device, wanted, 0}, {s.release, POLLIN, 0}};
        guard.unlock();
        int ready = poll(p, 2, timeoutMs);
        guard.lock();
        if (ready < 0) {
            if (errno == EINTR) continue;
            return kWaitFailed;
        }
        if (s.closing) return kWaitFailed;  // the close drains the signal itself
        if ((p[1].revents & POLLIN) != 0) {
            Drain(s.release);
            return kWaitDone;  // released by a mask of 0: no event
        }
        if (ready == 0) {
            if (s.device >= 0 && s.kind != SerialSourceKind::Tty &&
                MonotonicMs() - s.lastInputMs >= kNetworkSilenceMs) {
                s.vanished = true;
                s.lostWhy = "silent for 10 s";
            }
            continue;
        }
        if (s.device < 0) continue;
        // Bytes still waiting are read first, even on a hang-up; the read that
        // finds the device gone marks it vanished.
        if ((p[0].revents & POLLIN) != 0 && (s.mask & kEventRxChar) != 0) {
            *events = kEventRxChar;
            return kWaitDone;
        }
        if ((p[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            s.vanished = true;
            s.lostWhy = "hang-up";
        }
    }
}

}  // namespace


namespace {

int ApplyLineSettings(int fd, const SerialLineSettings& in, termios* result)
{
    speed_t speed;
    if (!SpeedToTtyCode(in.baudRate, &speed) || in.stopBits == 1 || !(in.byteSize >= 5 && in.byteSize <= 8)) return 0;
    termios t{};
    if (tcgetattr(fd, &t) != 0) return 0;
    if ((in.flags & kLineBinary) != 0) {
        t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC | IMAXBEL);
        t.c_oflag &= ~OPOST;
        t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    }
    t.c_iflag &= ~(INPCK | IXON | IXOFF | IXANY);
    if ((in.flags & kLineParityCheck) != 0 && in.parity != 0) t.c_iflag |= INPCK;
    if ((in.flags & kLineXonXoffOut) != 0) t.c_iflag |= IXON;
    if ((in.flags & kLineXonXoffIn) != 0) t.c_iflag |= IXOFF;
    if ((in.flags & kLineXonXoffOut) != 0 && (in.flags & kLineTxContinueOnXoff) != 0) t.c_iflag |= IXANY;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CLOCAL);
    static const tcflag_t kSizes[4] = {CS5, CS6, CS7, CS8};
    t.c_cflag |= kSizes[in.byteSize - 5] | CREAD;
    if (in.parity != 0) t.c_cflag |= PARENB;
    if (in.parity == 1 || in.parity == 3) t.c_cflag |= PARODD;
    if (in.parity >= 3) t.c_cflag |= CMSPAR;
    if (in.stopBits == 2) t.c_cflag |= CSTOPB;
    if ((in.flags & kLineCtsOutFlow) != 0 || (in.flags & kLineRtsControlMask) == kLineRtsHandshake)
        t.c_cflag |= CRTSCTS;
    if ((in.flags & kLineDsrSensitivity) == 0) t.c_cflag |= CLOCAL;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (cfsetispeed(&t, speed) != 0 || cfsetospeed(&t, speed) != 0) return 0;
    if (tcsetattr(fd, TCSANOW, &t) != 0) return 0;
    // tcsetattr succeeds when any part was taken: check the speed and size stuck.
    if (tcgetattr(fd, result) != 0 || cfgetospeed(result) != speed ||
        (result->c_cflag & CSIZE) != (t.c_cflag & CSIZE)) {
        return 0;
    }
    return 1;
}

bool IsTty(const PortSlot& s) { return s.kind == SerialSourceKind::Tty; }

}  // namespace

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

int GetSerialLineSettings(PortHandle port, SerialLineSettings* settings)
{
    std::unique_lock<std::mutex> guard;
    PortSlot* s = Acquire(port, guard);
    if (s == nullptr) return 0;
    *settings = s->line;
    if (!IsTty(*s) || s->device < 0) return 1;  // a network source, or the device still missing
    termios t{};
    if (tcgetattr(s->device, &t) != 0) return 0;
    SerialLineSettings& out = *settings;
    out.baudRate = CodeToSpeed(cfgetospeed(&t));
    switch (t.c_cflag & CSIZE) {
    case CS5: out.byteSize = 5; break;
    case CS6: out.byteSize = 6; break;
    case CS7: out.byteSize = 7; break;
    default: out.byteSize = 8; break;
    }
    if ((t.c_cflag & PARENB) == 0) out.parity = 0;
    else if ((t.c_cflag & CMSPAR) != 0) out.parity = (t.c_cflag & PARODD) != 0 ? 3 : 4;
    else out.parity = (t.c_cflag & PARODD) != 0 ? 1 : 2;
    out.stopBits = (t.c_cflag & CSTOPB) != 0 ? 2 : 0;
    // The switches termios can show are read from it; the others keep the
    // value last written.
    auto put = [&](uint32_t bit, bool on) { out.flags = on ? (out.flags | bit) : (out.flags & ~bit); };
    // Parity checking shows in termios only with a parity set.
    if ((t.c_cflag & PARENB) != 0) put(kLineParityCheck, (t.c_iflag & INPCK) != 0);
    put(kLineCtsOutFlow, (t.c_cflag & CRTSCTS) != 0);
    put(kLineDsrSensitivity, (t.c_cflag & CLOCAL) == 0);
    put(kLineXonXoffOut, (t.c_iflag & IXON) != 0);
    put(kLineXonXoffIn, (t.c_iflag & IXOFF) != 0);
    return 1;
}

// How the switch word maps to termios:
//   binary mode             raw input and output: no line editing, echo, signals,
//                           CR/LF translation, stripping or output processing
//   parity checking         INPCK (takes effect only with a parity set)
//   CTS output flow         CRTSCTS, also set by RTS handshake (RTS control 2)
//   DSR output flow, DSR    no termios switch: DSR flow is not available; DSR
//   sensitivity off         sensitivity off means CLOCAL (bytes taken whatever
//                           the modem lines say)
//   DTR / RTS enabled       the lines are raised by EscapeSerialFunction (5, 3)
//   XON/XOFF out / in       IXON / IXOFF; transmit-after-XOFF IXANY
//   error character, NUL    not available on termios: error bytes arrive as they
//   discarding, abort       came, NUL bytes are kept, errors never stop reading
// Always: CREAD, and VMIN 1 / VTIME 0 with O_NONBLOCK so that a read with nothing
// to give fails with EAGAIN and a read of 0 bytes means the tty hung up.
int SetSerialLineSettings(PortHandle port, const SerialLineSettings* settings)
{
    std::unique_lock<std::mutex> guard;
    PortSlot* s = Acquire(port, guard);
    if (s == nullptr) return 0;
    const SerialLineSettings& in = *settings;
    if (!(in.byteSize >= 5 && in.byteSize <= 8) || in.parity > 4 || in.stopBits > 2) return 0;
    if (!IsTty(*s)) {
        // A network source has no line: the values are kept for reading back.
        s->line = in;
        s->lineWritten = true;
        return 1;
    }
    speed_t speed;
    if (!SpeedToTtyCode(in.baudRate, &speed)) {
        VerboseLine("%s a tty does not take %u bit/s", s->label.c_str(), static_cast<unsigned>(in.baudRate));
        return 0;
    }
    if (in.stopBits == 1) return 0;  // one and a half stop bits: termios has none
    if (s->device >= 0) {
        termios applied{};
        if (!ApplyLineSettings(s->device, in, &applied)) {
            VerboseLine("%s %s does not take %u bit/s", s->label.c_str(), s->what.c_str(),
                        static_cast<unsigned>(in.baudRate));
            return 0;
        }
    }
    // Kept for every later opening of the device (after an unplug, or when it
    // appears at last).
    s->line = in;
    s->lineWritten = true;
    return 1;
}

int GetSerialTimeouts(PortHandle port, SerialTimeouts* timeouts)
{
    std::unique_lock<std::mutex> guard;
    PortSlot* s = Acquire(port, guard);
    if (s == nullptr) return 0;
    *timeouts = s->timeouts;
    return 1;
}

int SetSerialTimeouts(PortHandle port, const SerialTimeouts* timeouts)
{
    std::unique_lock<std::mutex> guard;
    PortSlot* s = Acquire(port, guard);
    if (s == nullptr) return 0;
    s->timeouts = *timeouts;
    return 1;
}

int EscapeSerialFunction(PortHandle port, uint32_t function)
{
    std::unique_lock<std::mutex> guard;
    PortSlot* s = Acquire(port, guard);
    if (s == nullptr) return 0;
    int bit;
    bool raise;
    switch (function) {
    case kSetDtr: bit = TIOCM_DTR; raise = true; break;
    case kClearDtr: bit = TIOCM_DTR; raise = false; break;
    case kSetRts: bit = TIOCM_RTS; raise = true; break;
    case kClearRts: bit = TIOCM_RTS; raise = false; break;
    default: return 0;
    }
    // Remembered whatever the device answers, so that a reopen raises the
    // lines again.
    if (bit == TIOCM_DTR) s->dtrRaised = raise;
    else s->rtsRaised = raise;
    if (!IsTty(*s) || s->device < 0) return 0;
    return ioctl(s->device, raise ? TIOCMBIS : TIOCMBIC, &bit) == 0 ? 1 : 0;
}

int SetSerialEventMask(PortHandle port, uint32_t mask)
{
    std::unique_lock<std::mutex> guard;
    PortSlot* s = Acquire(port, guard);
    if (s == nullptr) return 0;
    s->mask = mask;
    if (mask == 0 && s->busy > 0) Signal(s->release);
    return 1;
}

int WaitSerialEvent(PortHandle port, uint32_t* events)
{
    *events = 0;
    std::unique_lock<std::mutex> guard;
    PortSlot* s = Acquire(port, guard);
    if (s == nullptr) return 0;
    // A release meant for an earlier wait must not end this one.
    if (s->busy == 0) Drain(s->release);
    ++s->busy;
    const int result = WaitLocked(*s, guard, s->generation, events);
    if (result == kWaitGone) return 0;
    if (--s->busy == 0) s->idle.notify_all();
    return result;
}

int ReadSerial(PortHandle port, unsigned char* buffer, uint32_t size, uint32_t* delivered)
{
    *delivered = 0;
    std::unique_lock<std::mutex> guard;
    PortSlot* s = Acquire(port, guard);
    if (s == nullptr || size == 0) return s != nullptr;
    if (s->receivedAt == s->receivedEnd) {
        if (s->device < 0 || s->vanished) return 0;
        const SerialTimeouts& t = s->timeouts;
        const bool atOnce =
            t.readInterval == 0xFFFFFFFFu && t.readTotalMultiplier == 0 && t.readTotalConstant == 0;
        if (!atOnce) {
            // Other time-outs: wait for the first byte up to the read total
            // (both totals 0: until a byte comes or the port is closed).
            uint64_t total = uint64_t(t.readTotalMultiplier) * size + t.readTotalConstant;
            int timeoutMs = (t.readTotalMultiplier == 0 && t.readTotalConstant == 0)
                                ? -1
                                : static_cast<int>(total > INT_MAX ? INT_MAX : total);
            pollfd p[2] = {{s->device, POLLIN, 0}, {s->release, POLLIN, 0}};
            ++s->busy;
            guard.unlock();
            int ready = poll(p, 2, timeoutMs);
            guard.lock();
            if (--s->busy == 0) s->idle.notify_all();
            if (s->closing || s->device < 0) return 0;
            if (ready <= 0 || (p[1].revents & POLLIN) != 0) return 1;  // nothing came in time, or released
        }
        ssize_t n = IsTty(*s) ? read(s->device, s->received, kReceiveBuffer)
                              : recv(s->device, s->received, kReceiveBuffer, 0);
        if (n <= 0) {
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return 1;  // empty
            // 0 bytes from a tty set to VMIN 1 is a hang-up, from a socket the
            // peer closing; an error (EIO) is an unplugged device. The next
            // wait reports the loss and recovers it.
            s->vanished = true;
            s->lostWhy = n == 0 ? (IsTty(*s) ? "hang-up" : "closed by the other end") : "read error";
            return 0;
        }
        s->lastInputMs = MonotonicMs();
        s->receivedAt = 0;
        s->receivedEnd = static_cast<size_t>(n);
    }
    const size_t count = std::min<size_t>(size, s->receivedEnd - s->receivedAt);
    std::memcpy(buffer, s->received + s->receivedAt, count);
    s->receivedAt += count;
    *delivered = static_cast<uint32_t>(count);
    return 1;
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

int SpeedToTtyCode(uint32_t bitsPerSecond, speed_t* code)
{
    for (const SpeedCode& s : kSpeeds)
        if (s.bitsPerSecond == bitsPerSecond) {
            *code = s.code;
            return 1;
        }
    return 0;
}

int TtySpeedKnown(uint32_t bitsPerSecond)
{
    speed_t code;
    return SpeedToTtyCode(bitsPerSecond, &code);
}
