// Serial link: OpenPort (open, line settings, time-outs, DTR and RTS, reader thread),
// ClosePort, and ReaderThread, which sleeps in the port's event wait and reads what
// the port holds, a block per call, into the sentence framing until none is left. Platform serial
// operations only; a missing device is tried again inside the wait, and a lost
// one drops the fix here.
#include "gps/serial_link.h"

#include "app/globals.h"
#include "gps/framing.h"
#include "gps/gps_state.h"
#include "platform/clock.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/window.h"
#include "store/settings.h"

std::atomic<PortHandle> portHandle{kInvalidPort};
std::atomic<int32_t> readerThreadsRunning{0};
std::atomic<uint32_t> sentenceEnds{0};

namespace {

// Set by the reader when a network source's first connection failed; the tick
// shows the message box.
std::atomic<int32_t> portFailurePending{0};

// The switch word's new value keeps bits 0, 1, 4, 7, 12 and 15 to 31 and sets
// bits 0, 1, 4, 7 and 12: binary mode, parity checking, DTR enabled, transmit
// after XOFF, RTS enabled; CTS/DSR output flow, DSR sensitivity, XON/XOFF, error
// character, NUL discarding, RTS handshake and abort on error off.
constexpr uint32_t kKeptFlagBits = 0xFFFF9093u;
constexpr uint32_t kSetFlagBits = 0x1093u;

// A read returns at once with the bytes already received, possibly none.
constexpr SerialTimeouts kPortTimeouts = {
    0xFFFFFFFFu,  // interval between two received bytes: the maximum
    0,            // read total, per byte
    0,            // read total, constant
    10,           // write total, per byte: 10 ms
    1000,         // write total, constant: 1000 ms
};

// Events the thread waits for: received byte 0x0001, CTS 0x0008, DSR 0x0010,
// carrier detect 0x0020, ring 0x0100; after the first wait without carrier.
constexpr uint32_t kFirstEventMask = 313;
constexpr uint32_t kRunningEventMask = 281;

// Bytes taken from the port per read.
constexpr uint32_t kReadBlockSize = 512;

int Fail(const char16_t* text)
{
    ShowMessageBox(mainWindow, text, u"Error");
    return 0;
}

// Why a speed was refused, in words: a speed of 0 usually means no settings file.
void SayWhySpeedRefused(int32_t baudRate)
{
    if (baudRate != 0 || !VerboseEnabled()) return;
    TextFile* file = OpenTextFile(kSettingsPath, "r");
    if (file == nullptr) {
        VerboseLine("baudRate is 0: there is no settings file %s (velkar-port use DEVICE writes one)",
                    DevicePathToHost(kSettingsPath).c_str());
        return;
    }
    CloseTextFile(file);
    VerboseLine("baudRate is 0 in %s", DevicePathToHost(kSettingsPath).c_str());
}

}  // namespace

int OpenPort(const char16_t* name, int32_t baudRate)
{
    int32_t failure = kSerialOpened;
    portHandle = OpenSerialDevice(name, &failure);
    const PortHandle port = portHandle;
    if (port == kInvalidPort) return Fail(u"Unable to open the port");
    // Absent, refused or busy: said once, and the reader keeps trying.
    if (failure != kSerialOpened) {
        Fail(u"Unable to open the port");
        // The window may have been closed while the box was up: its shutdown
        // has closed the port, and there is nothing left to set up.
        if (portHandle.load() != port) return 0;
    }

    SerialLineSettings line{};
    GetSerialLineSettings(port, &line);  // the base for the changes; its result is ignored
    line.baudRate = static_cast<uint32_t>(baudRate);  // a negative speed becomes one no device takes
    line.flags = (line.flags & kKeptFlagBits) | kSetFlagBits;
    line.byteSize = 8;
    line.parity = 0;    // none
    line.stopBits = 0;  // one
    if (!SetSerialLineSettings(port, &line)) {
        SayWhySpeedRefused(baudRate);
        return Fail(u"Unable to configure the serial port");
    }

    SerialTimeouts timeouts{};
    GetSerialTimeouts(port, &timeouts);  // result ignored
    timeouts = kPortTimeouts;
    if (!SetSerialTimeouts(port, &timeouts)) return Fail(u"Unable to set the time-out parameters");

    EscapeSerialFunction(port, kSetDtr);  // results ignored: a pty has no modem lines
    EscapeSerialFunction(port, kSetRts);

    readerThreadsRunning.fetch_add(1);
    if (!CreateDetachedThread(ReaderThread)) {
        readerThreadsRunning.fetch_sub(1);
        return Fail(u"Unable to create the read thread");
    }
    if (failure != kSerialOpened) VerboseLine("the reader tries the port again about once a second");
    return failure == kSerialOpened ? 1 : 0;
}

int TakePortFailure()
{
    return portFailurePending.exchange(0) != 0 ? 1 : 0;
}

void ReportPortFailure()
{
    Fail(u"Unable to open the port");
}

void ReleasePortWait(PortHandle handle)
{
    SetSerialEventMask(handle, 0);
}

int ClosePort(PortHandle handle)
{
    if (handle == kInvalidPort) return 0;
    // The reader thread, released from its wait, must find portHandle invalid
    // and end instead of waiting on a closed port.
    PortHandle expected = handle;
    portHandle.compare_exchange_strong(expected, kInvalidPort);
    return CloseSerialDevice(handle);
}

int ReaderThread()
{
    FramingState framing{0, 0};
    SetSerialEventMask(portHandle, kFirstEventMask);
    if (portHandle == kInvalidPort) {
        readerThreadsRunning.fetch_sub(1);
        return 0;
    }
    for (;;) {
        uint32_t events = 0;
        if (!WaitSerialEvent(portHandle, &events)) events = 0;  // a failed wait counts as no event
        SetSerialEventMask(portHandle, kRunningEventMask);
        // The receiver is gone: its last fix no longer holds, and the sentence it
        // was sending is dropped, so its stub never joins what the device sends
        // once it is opened again.
        if ((events & kEventDeviceLost) != 0) {
            DropSilentFix(MonotonicMs(), 1);
            framing = FramingState{0, 0};
        }
        if ((events & kEventOpenFailed) != 0) portFailurePending.store(1);
        if ((events & kEventRxChar) != 0) {
            unsigned char block[kReadBlockSize];
            uint32_t delivered = 0;
            while (ReadSerial(portHandle, block, kReadBlockSize, &delivered) && delivered > 0) {
                uint32_t ends = 0;
                for (size_t at = 0; at < delivered;) {
                    FrameResult result = kFrameNone;
                    at += FrameBytes(sentenceBuffer, &framing, block + at, delivered - at, &result);
                }
                for (uint32_t i = 0; i < delivered; ++i) ends += block[i] == '*' ? 1 : 0;
                if (ends != 0) {
                    sentenceEnds.fetch_add(ends);
                    sentenceEnds.notify_all();
                }
            }
        }
        if (portHandle == kInvalidPort) break;
    }
    readerThreadsRunning.fetch_sub(1);
    return 0;
}
