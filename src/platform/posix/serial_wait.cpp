// Waiting for serial events: poll() on the device and the slot's eventfd (a mask
// of 0 or a close releases it), a missing device opened again about once a
// second inside the wait, a network source that falls silent dropped and reopened.
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
#include <atomic>
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

enum WaitEnd { kWaitFailed = 0, kWaitDone = 1, kWaitGone = 2 };

std::atomic<SerialMoveCheck> moveCheck{nullptr};

// Looks whether the receiver has been pointed elsewhere (a new port name or
// speed from the check, or a replaced dev/COMn entry); if so drops the device so
// that the wait opens the new one at once.
// 1 when the receiver was moved and its old device closed.
int LookForMovedReceiver(PortSlot& s)
{
    s.nextMoveCheckMs = MonotonicMs() + kMoveCheckMs;
    std::string why;
    char16_t name[16] = {};
    uint32_t speed = s.line.baudRate;
    const SerialMoveCheck check = moveCheck.load();
    if (check != nullptr && check(s.portName.c_str(), s.line.baudRate, name, &speed) == 1 && name[0] != 0) {
        why = "the settings now name " + TextToUtf8(name) + " at " + std::to_string(speed) + " bit/s";
        s.portName = name;
        s.line.baudRate = speed;
    } else {
        const std::string signature = EntrySignature(s.portName);
        if (signature.empty() || signature == s.entrySignature) return 0;
        why = SerialDevicePath(s.portName.c_str()) + " was replaced";
    }
    VerboseLine("%s %s; reopening the receiver", s.label.c_str(), why.c_str());
    s.label = TextToUtf8(s.portName.c_str());
    if (s.device >= 0) close(s.device);
    s.device = -1;
    s.receivedAt = s.receivedEnd = 0;
    s.nextAttemptMs = 0;
    s.entrySeen = false;
    s.entrySignature = EntrySignature(s.portName);
    s.lastWords.clear();
    return 1;
}

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
        // A moved receiver is told to the reader as a lost one: the sentence the
        // old device was sending is dropped and its fix no longer holds.
        if (MonotonicMs() >= s.nextMoveCheckMs && LookForMovedReceiver(s) == 1) {
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
            s.entrySignature = EntrySignature(name);
            if (o.fd >= 0) {
                s.device = o.fd;
                s.bannerChecked = false;
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
        int64_t untilMs = s.nextMoveCheckMs - MonotonicMs();
        if (s.kind != SerialSourceKind::Tty) untilMs = std::min(untilMs, s.lastInputMs + kNetworkSilenceMs - MonotonicMs());
        const int timeoutMs = static_cast<int>(std::max<int64_t>(0, untilMs));
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

void SetSerialMoveCheck(SerialMoveCheck check) { moveCheck.store(check); }
