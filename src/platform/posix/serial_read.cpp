// Reading a serial port: bytes come from the slot's receive buffer, refilled by
// one system call of up to 512 bytes, so that reads of one byte stay cheap; a
// read that finds the device gone marks it for the next wait to report.
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

// gpsd greets every client with its version in JSON before it is asked for
// anything: a tcp:// source that starts so is a gpsd, which sends NMEA only when
// asked (gpsd://HOST does).
constexpr char kGpsdBanner[] = "{\"class\":\"VERSION\"";

void SayIfGpsd(PortSlot& s, size_t count)
{
    const size_t size = sizeof kGpsdBanner - 1;
    if (count < size) return;  // a banner comes in one piece; look again at the next bytes
    s.bannerChecked = true;
    if (std::memcmp(s.received, kGpsdBanner, size) != 0) return;
    SerialSource source;
    std::string host = s.what;
    if (ParseNetworkSource(s.what, &source) == 1) {
        host = source.host.find(':') != std::string::npos ? "[" + source.host + "]" : source.host;
        if (source.port != kGpsdDefaultPort) host += ":" + std::to_string(source.port);
    }
    VerboseLine("%s %s sends gpsd's JSON, not NMEA: this is gpsd: use gpsd://%s", s.label.c_str(), s.what.c_str(),
                host.c_str());
}

}  // namespace

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
        if (s->kind == SerialSourceKind::Tcp && !s->bannerChecked) SayIfGpsd(*s, static_cast<size_t>(n));
        s->receivedAt = 0;
        s->receivedEnd = static_cast<size_t>(n);
    }
    const size_t count = std::min<size_t>(size, s->receivedEnd - s->receivedAt);
    std::memcpy(buffer, s->received + s->receivedAt, count);
    s->receivedAt += count;
    *delivered = static_cast<uint32_t>(count);
    return 1;
}
