// The serial link: OpenPort opens the receiver's port, configures it and starts
// ReaderThread, which frames the byte stream and hands GGA and VTG sentences to
// the parsers. Receive only: nothing is ever sent to the receiver.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/serial.h"

// The open device, or kInvalidPort. Written by the user-interface thread,
// read by the reader thread.
extern std::atomic<PortHandle> portHandle;

// Reader threads started by OpenPort that have not yet returned (0 or 1 in a
// run). A shutdown, or anyone watching the link, can see the thread end.
extern std::atomic<int32_t> readerThreadsRunning;

// The '*' bytes the reader thread has framed, ending a sentence or not. Waiters
// may block on it with std::atomic::wait; every increment notifies them.
extern std::atomic<uint32_t> sentenceEnds;

// Opens portName at baudRate (8N1, raw, DTR and RTS raised) and starts the reader
// thread. Returns 1 when the port is open (a network source: being connected by
// the reader) and the reader runs; 0 after telling the user in a message box
// captioned "Error". A device that is absent, refused or busy is told
// ("Unable to open the port") and the reader still runs: it tries the same port
// again about once a second with the same settings and reads once it opens. Only
// settings the device cannot take (a speed a tty does not know) or no thread
// leave the port without a reader.
int OpenPort(const char16_t* portName, int32_t baudRate);

// A network source whose first connection failed on the reader thread: 1 once,
// the first time it is asked after the failure, else 0. The user-interface
// thread then tells the user with ReportPortFailure.
int TakePortFailure();
// "Unable to open the port" in a message box captioned "Error", owned by the
// main window; returns when the user has closed it.
void ReportPortFailure();

// Clears the port's event mask, which releases the reader thread's wait at once.
void ReleasePortWait(PortHandle handle);

// 0 for kInvalidPort or a failed close, 1 when the device was closed. Closing
// portHandle makes it kInvalidPort first, so the released reader thread ends.
int ClosePort(PortHandle handle);

// The reader thread's entry; returns 0 when it ends.
int ReaderThread();
