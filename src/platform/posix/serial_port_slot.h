// The serial ports' shared record: a fixed table of port slots, each a handle's
// device, receive buffer, line settings and the eventfd that releases its waits,
// and the steps the opening, waiting and reading code share. POSIX; private to
// platform/posix.
#pragma once

#include <termios.h>

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>

#include "platform/posix/serial_source.h"
#include "platform/serial.h"

namespace serial_slots {

constexpr int kPortSlots = 16;
constexpr int64_t kRetryMs = 1000;          // a missing device is tried again about once a second
constexpr int kFirstConnectMs = 3000;       // a network source must answer its first connect within this
constexpr int kRetryConnectMs = 1000;       // and each later one within this
constexpr int64_t kNetworkSilenceMs = 10000;  // a network source silent this long is dropped and reopened
constexpr int64_t kMoveCheckMs = 1000;       // a moved receiver is looked for about once a second
constexpr size_t kReceiveBuffer = 512;      // bytes taken from the device per system call

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
    bool bannerChecked = false;    // a tcp:// source's first bytes were looked at for gpsd's banner
    int64_t nextMoveCheckMs = 0;   // when the wait next looks for a moved receiver
    std::string entrySignature;    // the dev/COMn entry as last opened ("" for none)
    bool dtrRaised = false;
    bool rtsRaised = false;
};

// The table, never destroyed: a reader thread may still wait on a port when the
// process ends by the Exit road.
PortSlot* Slots();

// The open record behind a handle, locked through guard; nullptr for a handle
// that is not open (never opened, closed, or from an older generation).
PortSlot* Acquire(PortHandle port, std::unique_lock<std::mutex>& guard);

// Wakes every wait on the slot's eventfd; Drain empties it.
void Signal(int eventFd);
void Drain(int eventFd);

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
bool IsTtySFallback(const std::string& path);

// Opens the source a port name stands for now. A network source is looked up
// and connected only with connect set (never on the user-interface thread). With
// line, the tty is given those settings and the modem lines raised.
Opening OpenPortName(const std::u16string& portName, bool entryOnly, bool connect, int release, int connectMs,
                     const SerialLineSettings* line, bool dtr, bool rts);

// The serial.h failure code for a source failure.
int32_t FailureCode(SourceFailure failure);

// Says once per change why the port's device cannot be opened; retrying: said
// by the wait, which tries again.
void SayFailure(PortSlot& s, const Opening& o, bool retrying);

// What identifies the port's dev/COMn entry now (inode, change time, link text);
// "" when the port has no entry.
std::string EntrySignature(const std::u16string& portName);

inline bool IsTty(const PortSlot& s) { return s.kind == SerialSourceKind::Tty; }

}  // namespace serial_slots
