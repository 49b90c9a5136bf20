// Serial line settings on termios: speeds, byte size, parity, stop bits, flow
// control and the switch word, DTR and RTS through TIOCMBIS/TIOCMBIC, and the
// time-outs kept for reads. Settings written are kept for every later opening.
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

namespace {


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

}  // namespace

namespace serial_slots {

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

}  // namespace serial_slots

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
