// Serial link to the receiver: open a device by name ("COM1:".."COM5:"), line
// settings, time-outs, modem lines, event mask and event wait, one-byte reads,
// and the reader thread. Standard types only; the POSIX side is platform/posix/.
// Operations return 1 for success and 0 for failure; nothing throws.
#pragma once

#include <cstdint>
#include <string>

using PortHandle = intptr_t;
constexpr PortHandle kInvalidPort = -1;

// ---- Line settings -------------------------------------------------------

// The handheld's device-control record, the parts this system touches.
struct SerialLineSettings {
    uint32_t baudRate;  // bits per second
    uint32_t flags;     // switch word, bits below
    uint8_t byteSize;   // data bits, 5 to 8
    uint8_t parity;     // 0 none, 1 odd, 2 even, 3 mark, 4 space
    uint8_t stopBits;   // 0 one, 1 one and a half, 2 two
};

// Bits of SerialLineSettings::flags, as the handheld lays them out.
constexpr uint32_t kLineBinary = 1u << 0;            // no end-of-file character: raw bytes
constexpr uint32_t kLineParityCheck = 1u << 1;       // check parity (only with a parity set)
constexpr uint32_t kLineCtsOutFlow = 1u << 2;        // hold output while CTS is low
constexpr uint32_t kLineDsrOutFlow = 1u << 3;        // hold output while DSR is low
constexpr uint32_t kLineDtrControlMask = 3u << 4;    // 0 disabled, 1 enabled (held on), 2 handshake
constexpr uint32_t kLineDtrEnabled = 1u << 4;
constexpr uint32_t kLineDsrSensitivity = 1u << 6;    // drop bytes while DSR is low
constexpr uint32_t kLineTxContinueOnXoff = 1u << 7;
constexpr uint32_t kLineXonXoffOut = 1u << 8;
constexpr uint32_t kLineXonXoffIn = 1u << 9;
constexpr uint32_t kLineErrorChar = 1u << 10;        // replace bytes with parity errors
constexpr uint32_t kLineDiscardNul = 1u << 11;
constexpr uint32_t kLineRtsControlMask = 3u << 12;   // 0 disabled, 1 enabled (held on), 2 handshake
constexpr uint32_t kLineRtsEnabled = 1u << 12;
constexpr uint32_t kLineRtsHandshake = 2u << 12;
constexpr uint32_t kLineAbortOnError = 1u << 14;

// ---- Time-outs -------------------------------------------------------------

// All in milliseconds. readInterval 0xFFFFFFFF with both read totals 0 means a
// read returns at once with the bytes already received, possibly none.
struct SerialTimeouts {
    uint32_t readInterval;
    uint32_t readTotalMultiplier;
    uint32_t readTotalConstant;
    uint32_t writeTotalMultiplier;
    uint32_t writeTotalConstant;
};

// ---- Modem lines and events ----------------------------------------------

// Function codes of EscapeSerialFunction.
constexpr uint32_t kSetRts = 3;
constexpr uint32_t kClearRts = 4;
constexpr uint32_t kSetDtr = 5;
constexpr uint32_t kClearDtr = 6;

// Event bits of the event mask and of an event wait's result.
constexpr uint32_t kEventRxChar = 0x0001;  // a byte was received
constexpr uint32_t kEventCts = 0x0008;     // CTS changed
constexpr uint32_t kEventDsr = 0x0010;     // DSR changed
constexpr uint32_t kEventRlsd = 0x0020;    // carrier detect changed
constexpr uint32_t kEventRing = 0x0100;    // ring indicator
// Reported by a wait whatever the mask (but never with a mask of 0):
constexpr uint32_t kEventDeviceLost = 0x10000;  // the device or connection went (hang-up, read error,
                                                // peer closed, a network source silent for 10 s)
constexpr uint32_t kEventOpenFailed = 0x20000;  // the first connection of a network source failed

// Why a port is not open (OpenSerialDevice's *failure).
constexpr int32_t kSerialOpened = 0;        // open (or, for a network source, to be connected by the wait)
constexpr int32_t kSerialAbsent = 1;        // no such device, or a source file that names none
constexpr int32_t kSerialRefused = 2;       // permission denied
constexpr int32_t kSerialBusy = 3;          // another opener holds it
constexpr int32_t kSerialNotUsable = 4;     // not a serial device, or another error

// ---- Operations ------------------------------------------------------------

// Host path a port name stands for: "COMn:" is <device root>/dev/COMn when that
// entry exists (a link to a tty or pty, or a text file naming a network source),
// else /dev/ttyS<n-1>. Empty for a name that is not "COMn:" (n 1 to 255).
std::string SerialDevicePath(const char16_t* portName);

// Opens the port for reading and writing, without sharing (no second opener,
// this program or another, gets it), only if it already exists. A text file
// holding "tcp://HOST:PORT" or "gpsd://HOST[:PORT]" (gpsd: port 2947 by default;
// raw NMEA is asked for) names a network source instead: its host is looked up
// and connected by the first event wait, never here, so this never blocks.
// kInvalidPort only for a name that is not "COMn:" (or no free slot). When the
// device cannot be opened now (*failure says why), the handle is still given: it
// waits for the device, and the event wait tries the same port name again, from
// its path on, about once a second. Diagnostics (velkar --verbose) say which
// device or URL the name stands for and why an opening failed.
PortHandle OpenSerialDevice(const char16_t* portName, int32_t* failure);

// The device's current settings (a network source, or a port waiting for its
// device, reports the last ones written).
int GetSerialLineSettings(PortHandle port, SerialLineSettings* settings);
// Writes them; 0 when the device cannot take them (a speed it does not know, 0
// included; an unknown byte size, parity or stop-bit code). A port waiting for
// its device checks them as a tty would and keeps them for the opening.
int SetSerialLineSettings(PortHandle port, const SerialLineSettings* settings);

int GetSerialTimeouts(PortHandle port, SerialTimeouts* timeouts);
int SetSerialTimeouts(PortHandle port, const SerialTimeouts* timeouts);

// Raises or lowers DTR or RTS (codes above). 0 where the device has no such line.
int EscapeSerialFunction(PortHandle port, uint32_t function);

// Later waits end on the events of mask; a mask of 0 releases a wait in progress
// at once (the wait then reports no event).
int SetSerialEventMask(PortHandle port, uint32_t mask);

// Blocks until an event of the mask occurs and stores the events that occurred.
// When the device vanishes (unplugged: hang-up or read error; a network peer
// closing; a network source silent for 10 s) the wait ends with kEventDeviceLost.
// While the device is missing, the wait tries the same port name again about
// once a second (a network source: looked up and connected here), opens it with
// the settings last written and the modem lines last raised, and goes on
// waiting; the CPU stays idle in between. The first failed connection of a
// network source ends the wait with kEventOpenFailed. A mask of 0 or closing the
// port ends the wait at once, also then. 0 when the wait failed (the port was
// closed), which counts as no event.
int WaitSerialEvent(PortHandle port, uint32_t* events);

// Another program may point the receiver elsewhere while a port is open. About
// once a second a wait checks: when the port's dev/COMn entry has been replaced
// (a new link or source file), and when the check below answers 1 with a port
// name (at most 15 characters) and speed, the port drops its device and opens the
// new one at once, saying so under -v. The check runs on the waiting thread;
// nullptr (the default) leaves names and speeds as opened.
using SerialMoveCheck = int (*)(const char16_t* portName, uint32_t baudRate, char16_t* newName,
                                uint32_t* newBaudRate);
void SetSerialMoveCheck(SerialMoveCheck check);

// Reads up to size bytes as the time-outs say; *delivered is the number read.
// A device that has vanished delivers nothing (0 returned); the next wait
// recovers it.
int ReadSerial(PortHandle port, unsigned char* buffer, uint32_t size, uint32_t* delivered);

// Closes the port; a wait in progress on it ends at once. 0 for a handle that is
// not open or a failed close.
int CloseSerialDevice(PortHandle port);

// ---- Threads -------------------------------------------------------------

// Starts entry on a new thread at once (default stack) and releases it: the
// thread is never joined. 0 when no thread could be created.
int CreateDetachedThread(int (*entry)());
