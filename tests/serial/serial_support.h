// Test support for the serial link: a temporary device root, pty pairs linked in
// as <root>/dev/COMn, NMEA sentences with checksums, standard-error capture, and
// bounded waits on the reader thread. POSIX; tests only.
#pragma once

#include <cstdint>
#include <string>

#include "gps/gps_state.h"

// A fresh device root in a mkdtemp folder, with its dev/ folder; removed at the end.
struct TempRoot {
    TempRoot();
    ~TempRoot();
    std::string path;
    std::string Dev(int n) const { return path + "/dev/COM" + std::to_string(n); }
};

// A pty pair: master kept by the test (the receiver's side), slave named by path.
// The slave is set raw so that bytes written before the port is configured are
// not edited or echoed.
struct Pty {
    Pty();
    ~Pty();
    void CloseMaster();  // the receiver goes away: the slave hangs up (our slave copy closes too)
    void Write(const std::string& bytes);  // all of it, blocking
    void DrainEcho();    // reads and drops whatever the slave side wrote back
    int master = -1;
    int slave = -1;  // kept open to look at the line settings the port was given
    std::string slavePath;
};

// Points <root>/dev/COMn at target (replacing an earlier link or file).
void LinkDevice(const TempRoot& root, int n, const std::string& target);
// Writes <root>/dev/COMn as a one-line text file.
void WriteSourceFile(const TempRoot& root, int n, const std::string& line);

// "$" + body + "*" + two hex digits of the XOR checksum + CRLF.
std::string Sentence(const std::string& body);

// Puts GpsState and displayLine back to what a fresh start has, and empties the
// reader's sentence buffer (only while no reader thread runs).
void ResetLinkState();

// Waits (bounded by a generous guard, not a timing check) until sentenceEnds
// reaches target. False if the guard ran out.
bool WaitForSentenceEnds(uint32_t target, int guardMs = 20000);
// Until readerThreadsRunning is 0.
bool WaitForReaderEnd(int guardMs = 20000);
// Until the current GpsState's utcTime equals time.
bool WaitForUtcTime(const std::u16string& time, int guardMs = 20000);

// Ends the running link as the shutdown does: release the wait, close the port,
// and wait for the reader thread to end.
bool ShutDownLink();

// Standard error of the process between construction and Text().
struct StderrCapture {
    StderrCapture();
    ~StderrCapture();
    std::string Text();
    int saved = -1;
    std::string file;
    bool restored = false;
};

std::u16string U16(const char16_t* text);

// Compares every GpsState field by name (doubles exactly: both sides ran the
// same parser on the same text).
void ExpectSameState(const GpsState& expected, const GpsState& actual, const std::string& where);
