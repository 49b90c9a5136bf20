// Receiver set-up: the serial devices a receiver can be, who may open them and
// who holds them, and the speed at which one sends NMEA with valid checksums.
// Used by velkar-port; standard types only (the POSIX side is serial_probe.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The usual receiver speeds, in bits per second, in the order they are tried.
constexpr uint32_t kProbeSpeeds[] = {4800, 9600, 19200, 38400, 57600, 115200};

struct SerialCandidate {
    std::string path;     // the device as found or named, e.g. /dev/ttyUSB0
    std::string byId;     // the /dev/serial/by-id/ name leading to it, or ""
    bool mayOpen = false; // this user may read and write it
    std::string holders;  // processes holding it open ("gpsd (pid 812)"), "" when none seen
};

// The devices a receiver can be: /dev/serial/by-id/* (listed by their device),
// /dev/ttyACM*, /dev/ttyUSB*, and the /dev/ttyS* whose UART the kernel found.
std::vector<SerialCandidate> ListSerialCandidates();
// The same facts for one named device (a by-id link, a tty, a pty).
SerialCandidate DescribeSerialDevice(const std::string& path);

struct ProbeResult {
    int32_t found = 0;               // 1 when valid NMEA came at speed
    uint32_t speed = 0;              // bits per second
    std::vector<std::string> types;  // sentence types seen at that speed, sorted ("GGA", "RMC", "PUBX")
    std::string why;                 // the device could not be opened: in words; else ""
};

// Opens the device without sharing and tries speeds in turn (8N1, raw), listening
// listenMs at each, and stops at the first at which at least two NMEA sentences
// with valid checksums arrive. Nothing is ever written to the device.
ProbeResult ProbeSerialSpeed(const std::string& path, const std::vector<uint32_t>& speeds, int listenMs);

// One line "$<body>*hh" (line end optional) whose two hex digits are the XOR of
// the body: 1, with *type the sentence type ("GGA" for "$GPGGA", "PUBX" for a
// proprietary "$PUBX"); else 0.
int ValidNmeaLine(const std::string& line, std::string* type);

// 1 when bitsPerSecond is a speed a tty takes.
int TtySpeedKnown(uint32_t bitsPerSecond);
