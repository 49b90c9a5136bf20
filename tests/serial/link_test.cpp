// The serial link on real pty pairs: which sentences reach the parsers, the two
// switches, framing across writes, the opening failures and their messages, the
// line settings a device is given, and both shutdown roads.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "gps/framing.h"
#include "gps/gps_state.h"
#include "gps/serial_link.h"
#include "platform/serial.h"
#include "serial_support.h"
#include "store/settings.h"

extern char** environ;

namespace {

// A port opened on a fresh pty as COM1, with the reader thread running.
struct LiveLink {
    TempRoot root;
    Pty pty;
    int opened = 0;
    explicit LiveLink(int32_t baud = 4800)
    {
        ResetLinkState();
        settings.gpsEmulation = 0;
        gotoActive = 0;
        LinkDevice(root, 1, pty.slavePath);
        opened = OpenPort(u"COM1:", baud);
    }
    ~LiveLink()
    {
        settings.gpsEmulation = 0;
        gotoActive = 0;
        EXPECT_TRUE(ShutDownLink());
    }
    // Writes bytes and waits until the reader has framed `stars` more '*'.
    void Send(const std::string& bytes, uint32_t stars = 1)
    {
        const uint32_t target = sentenceEnds.load() + stars;
        pty.Write(bytes);
        ASSERT_TRUE(WaitForSentenceEnds(target)) << "reader did not frame: " << bytes;
    }
};

}  // namespace

// Rows: sentences from the receiver; which parser must see them.
// GGA and VTG samples are the worked sentences of the parsers' own comments;
// GN is the talker of multi-constellation receivers (neo-m8n.log, rx210.log).
TEST(SerialLink, SentencesReachTheirParsersWhateverTheTalker)
{
    struct Row {
        const char* name;
        std::string body;     // without '$' and checksum
        const char* parser;   // "GGA", "VTG" or "" (ignored)
        const char16_t* time; // utcTime expected after a GGA
        double course, speed; // expected after a VTG
    };
    const Row rows[] = {
        {"GPGGA", "GPGGA,163400.0,4420.924,N,01143.050,E,1,5,1.69,00030,M,047,M,,", "GGA", u"163400.0", 0, 0},
        {"GNGGA", "GNGGA,081836.00,4807.038,N,01131.000,E,2,08,0.9,545.4,M,46.9,M,,", "GGA", u"081836.00", 0, 0},
        {"GPVTG", "GPVTG,054.7,T,034.4,M,005.5,N,010.2,K", "VTG", nullptr, 54.7, 10.2},
        // (magnetic course filled in: an empty field would shift km/h to the next token)
        {"GNVTG", "GNVTG,221.54,T,219.10,M,31.9,N,59.1,K,A", "VTG", nullptr, 221.54, 59.1},
        {"GPRMC", "GPRMC,081836,A,3751.65,S,14507.36,E,000.0,360.0,130998,011.3,E", "", nullptr, 0, 0},
    };
    LiveLink link;
    ASSERT_EQ(link.opened, 1);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        char16_t before[kDisplayLineSize];
        SnapshotDisplayLine(before);
        const GpsState old = SnapshotGpsState();
        link.Send(Sentence(row.body));
        const GpsState now = SnapshotGpsState();
        char16_t line[kDisplayLineSize];
        SnapshotDisplayLine(line);
        const std::string expectedLine = "$" + row.body;
        if (std::string(row.parser).empty()) {
            EXPECT_EQ(U16(line), U16(before));
            ExpectSameState(old, now, row.name);
            continue;
        }
        EXPECT_EQ(U16(line), std::u16string(expectedLine.begin(), expectedLine.end()));
        if (std::string(row.parser) == "GGA") {
            EXPECT_EQ(U16(now.utcTime), U16(row.time));
            EXPECT_EQ(U16(now.prevUtcTime), U16(old.utcTime));
            EXPECT_EQ(now.course, old.course);
        } else {
            EXPECT_DOUBLE_EQ(now.course, row.course);
            EXPECT_DOUBLE_EQ(now.speedKmh, row.speed);
            EXPECT_EQ(U16(now.utcTime), U16(old.utcTime));
        }
    }
}

// Bytes reach the framing unchanged: the line is raw (no CR/LF translation, no
// stripping of the eighth bit, no echo, no line editing).
TEST(SerialLink, BytesArriveUnchanged)
{
    LiveLink link;
    ASSERT_EQ(link.opened, 1);
    // A GGA without its '*' runs on into the next sentence (RMC), whose '*' hands
    // the whole text over: CR and LF must still be there as received, as must the
    // byte 0xB0 and a DEL (0x7F) and ^C (0x03), which a cooked line would eat.
    link.Send(std::string("$GPGGA,120000,,\xB0\x7F\x03\r\n$GPRMC,1*00\r\n"));
    char16_t line[kDisplayLineSize];
    SnapshotDisplayLine(line);
    const std::u16string expected = u"$GPGGA,120000,,\u00B0\u007F\u0003\r\n$GPRMC,1";
    EXPECT_EQ(U16(line), expected);
    EXPECT_EQ(U16(SnapshotGpsState().utcTime), u"120000");
}

// The switches hold live sentences back: neither GpsState nor displayLine moves.
TEST(SerialLink, SwitchesHoldSentencesBack)
{
    struct Row {
        const char* name;
        int32_t emulation, goTo;
    };
    const Row rows[] = {{"gps emulation on", 1, 0}, {"goto dialog active", 0, 1}, {"both", 1, 1}};
    LiveLink link;
    ASSERT_EQ(link.opened, 1);
    link.Send(Sentence("GPGGA,101010,4420.924,N,01143.050,E,1,5,1.69,30,M,47,M,,"));
    for (const Row& row : rows) {
        settings.gpsEmulation = row.emulation;
        gotoActive = row.goTo;
        const GpsState old = SnapshotGpsState();
        char16_t before[kDisplayLineSize];
        SnapshotDisplayLine(before);
        link.Send(Sentence("GPGGA,202020,4500.000,N,01000.000,E,2,9,1.0,99,M,47,M,,") +
                      Sentence("GNVTG,100.0,T,,M,10.0,N,18.5,K,A"),
                  2);
        char16_t after[kDisplayLineSize];
        SnapshotDisplayLine(after);
        EXPECT_EQ(U16(after), U16(before)) << row.name;
        ExpectSameState(old, SnapshotGpsState(), row.name);
    }
    // Switched off again, the next sentence goes through.
    settings.gpsEmulation = 0;
    gotoActive = 0;
    link.Send(Sentence("GPGGA,303030,4500.000,N,01000.000,E,1,9,1.0,99,M,47,M,,"));
    EXPECT_EQ(U16(SnapshotGpsState().utcTime), u"303030");
}

// One stream of sentences written a byte at a time, in odd pieces, and all at
// once ends in the same state; the values are those of the last GGA and VTG.
TEST(SerialLink, SplitAndBatchedWritesGiveTheSameState)
{
    const std::string stream = Sentence("GPGGA,091500,4420.924,N,01143.050,E,1,5,1.69,30,M,47,M,,") +
                               Sentence("GPRMC,091500,A,4420.924,N,01143.050,E,0.0,0.0,010203,,") +
                               Sentence("GPVTG,054.7,T,034.4,M,005.5,N,010.2,K") +
                               Sentence("GPGGA,091501,4420.930,N,01143.060,E,1,6,1.50,31,M,47,M,,");
    int stars = 0;
    for (char c : stream) stars += c == '*';

    struct Way {
        const char* name;
        size_t piece;  // bytes per write; 0: all at once
    };
    const Way ways[] = {{"one byte per write", 1}, {"seven bytes per write", 7}, {"all at once", 0}};
    GpsState results[3];
    for (int w = 0; w < 3; ++w) {
        LiveLink link;
        ASSERT_EQ(link.opened, 1);
        const uint32_t target = sentenceEnds.load() + stars;
        if (ways[w].piece == 0) {
            link.pty.Write(stream);
        } else {
            for (size_t i = 0; i < stream.size(); i += ways[w].piece) {
                link.pty.Write(stream.substr(i, ways[w].piece));
                // Let the reader take each piece on its own.
                std::this_thread::sleep_for(std::chrono::microseconds(300));
            }
        }
        ASSERT_TRUE(WaitForSentenceEnds(target)) << ways[w].name;
        results[w] = SnapshotGpsState();
    }
    EXPECT_EQ(U16(results[2].utcTime), u"091501");
    EXPECT_EQ(U16(results[2].prevUtcTime), u"091500");
    EXPECT_EQ(results[2].satellites, 6);
    EXPECT_DOUBLE_EQ(results[2].speedKmh, 10.2);
    EXPECT_DOUBLE_EQ(results[2].timeDelta, 1.0);
    ExpectSameState(results[2], results[0], ways[0].name);
    ExpectSameState(results[2], results[1], ways[1].name);
}

// Ports that cannot be opened: the user is told, portHandle stays invalid, no
// thread runs, and the shutdown's close does nothing and returns 0.
TEST(SerialLink, MissingDeviceIsReported)
{
    struct Row {
        const char* name;
        const char16_t* port;
        const char* entry;  // what <root>/dev/COM3 holds: "link:TARGET", "file:TEXT", or nothing
    };
    const Row rows[] = {
        {"link to a tty that has gone", u"COM3:", "link:/dev/velkar-no-such-tty"},
        {"no entry, no /dev/ttyS199", u"COM200:", ""},
        {"not a COM name", u"LPT1:", ""},
        {"COM0 does not exist", u"COM0:", ""},
        {"no colon", u"COM3", "link:/dev/null"},
        {"source file with other text", u"COM3:", "file:/dev/ttyUSB0"},
        {"tcp source without a port", u"COM3:", "file:tcp://127.0.0.1"},
        {"tcp source nobody listens on", u"COM3:", "file:tcp://127.0.0.1:1"},
        {"empty source file", u"COM3:", "file:"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempRoot root;
        const std::string entry = row.entry;
        if (entry.rfind("link:", 0) == 0) LinkDevice(root, 3, entry.substr(5));
        if (entry.rfind("file:", 0) == 0) WriteSourceFile(root, 3, entry.substr(5));
        StderrCapture capture;
        const int result = OpenPort(row.port, 4800);
        const std::string said = capture.Text();
        EXPECT_EQ(result, 0);
        EXPECT_NE(said.find("Error: Unable to open the port"), std::string::npos) << said;
        EXPECT_EQ(portHandle.load(), kInvalidPort);
        EXPECT_EQ(readerThreadsRunning.load(), 0);
        EXPECT_EQ(ClosePort(portHandle), 0);
    }
}

// Speeds a tty cannot take (0 included) fail the line settings; the device stays
// open without a reader until the shutdown closes it.
TEST(SerialLink, ImpossibleSpeedIsReported)
{
    const int32_t speeds[] = {0, -9600, 1, 12345, 4800000, INT32_MAX};
    for (int32_t speed : speeds) {
        SCOPED_TRACE(speed);
        TempRoot root;
        Pty pty;
        LinkDevice(root, 2, pty.slavePath);
        StderrCapture capture;
        EXPECT_EQ(OpenPort(u"COM2:", speed), 0);
        const std::string said = capture.Text();
        EXPECT_NE(said.find("Error: Unable to configure the serial port"), std::string::npos) << said;
        EXPECT_NE(portHandle.load(), kInvalidPort);
        EXPECT_EQ(readerThreadsRunning.load(), 0);
        EXPECT_EQ(ClosePort(portHandle), 1);
        EXPECT_EQ(portHandle.load(), kInvalidPort);
    }
}

// What the device is given. The pty starts out cooked, 7E2 with hardware and
// XON/XOFF flow control: every switch must come out as the link wants it.
TEST(SerialLink, DeviceGetsEightNoneOneRaw)
{
    const struct {
        int32_t baud;
        speed_t code;
    } rows[] = {{4800, B4800}, {9600, B9600}, {38400, B38400}, {115200, B115200}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.baud);
        TempRoot root;
        Pty pty;
        termios t{};
        ASSERT_EQ(tcgetattr(pty.slave, &t), 0);
        t.c_cflag = (t.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
        t.c_iflag |= IXON | IXOFF | ICRNL | ISTRIP | INPCK;
        t.c_lflag |= ICANON | ECHO | ISIG;
        t.c_oflag |= OPOST;
        ASSERT_EQ(tcsetattr(pty.slave, TCSANOW, &t), 0);
        LinkDevice(root, 1, pty.slavePath);
        ASSERT_EQ(OpenPort(u"COM1:", row.baud), 1);

        termios now{};
        ASSERT_EQ(tcgetattr(pty.slave, &now), 0);
        EXPECT_EQ(cfgetispeed(&now), row.code);
        EXPECT_EQ(cfgetospeed(&now), row.code);
        EXPECT_EQ(now.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_EQ(now.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
        EXPECT_NE(now.c_cflag & CREAD, 0u);
        EXPECT_NE(now.c_cflag & CLOCAL, 0u);  // DSR sensitivity off
        EXPECT_EQ(now.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP | INPCK), 0u);
        EXPECT_EQ(now.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(now.c_oflag & OPOST, 0u);

        // The switch word as the platform reads it back: (old AND 0xFFFF9093)
        // OR 0x1093 over the fresh port's word, with what termios shows.
        SerialLineSettings line{};
        ASSERT_EQ(GetSerialLineSettings(portHandle, &line), 1);
        EXPECT_EQ(line.flags, 0x1093u);
        EXPECT_EQ(line.baudRate, static_cast<uint32_t>(row.baud));
        EXPECT_EQ(line.byteSize, 8);
        EXPECT_EQ(line.parity, 0);
        EXPECT_EQ(line.stopBits, 0);
        SerialTimeouts timeouts{};
        ASSERT_EQ(GetSerialTimeouts(portHandle, &timeouts), 1);
        EXPECT_EQ(timeouts.readInterval, 0xFFFFFFFFu);
        EXPECT_EQ(timeouts.readTotalMultiplier, 0u);
        EXPECT_EQ(timeouts.readTotalConstant, 0u);
        EXPECT_EQ(timeouts.writeTotalMultiplier, 10u);
        EXPECT_EQ(timeouts.writeTotalConstant, 1000u);
        EXPECT_TRUE(ShutDownLink());
    }
}

// No sharing: while the link holds the device, a second opener is refused, and
// the reader keeps the port.
TEST(SerialLink, DeviceIsNotShared)
{
    TempRoot root;
    Pty pty;
    LinkDevice(root, 1, pty.slavePath);
    LinkDevice(root, 2, pty.slavePath);
    const PortHandle first = OpenSerialDevice(u"COM1:");
    ASSERT_NE(first, kInvalidPort);
    EXPECT_EQ(OpenSerialDevice(u"COM2:"), kInvalidPort);
    StderrCapture capture;
    EXPECT_EQ(OpenPort(u"COM1:", 4800), 0);
    EXPECT_NE(capture.Text().find("Unable to open the port"), std::string::npos);
    EXPECT_EQ(CloseSerialDevice(first), 1);
    EXPECT_EQ(CloseSerialDevice(first), 0);  // a closed handle is refused, not reused
    const PortHandle again = OpenSerialDevice(u"COM2:");
    EXPECT_NE(again, kInvalidPort);
    EXPECT_NE(again, first);
    EXPECT_EQ(CloseSerialDevice(again), 1);
}

// Shutdown by Control+Q: the mask of 0 releases the wait, the close ends the
// thread. A mask of 0 alone only releases one wait: reading goes on.
TEST(SerialLink, ShutdownEndsTheReaderThread)
{
    LiveLink link;
    ASSERT_EQ(link.opened, 1);
    link.Send(Sentence("GPGGA,111111,4420.924,N,01143.050,E,1,5,1.69,30,M,47,M,,"));
    ReleasePortWait(portHandle);
    link.Send(Sentence("GPGGA,222222,4420.924,N,01143.050,E,1,5,1.69,30,M,47,M,,"));
    EXPECT_EQ(U16(SnapshotGpsState().utcTime), u"222222");
    EXPECT_EQ(readerThreadsRunning.load(), 1);

    const PortHandle port = portHandle;
    ReleasePortWait(port);
    EXPECT_EQ(ClosePort(port), 1);
    EXPECT_EQ(portHandle.load(), kInvalidPort);
    EXPECT_TRUE(WaitForReaderEnd());
    EXPECT_EQ(ClosePort(port), 0);  // closed once only
}

// The close alone (no mask of 0 first) also releases the wait.
TEST(SerialLink, CloseAloneReleasesTheWait)
{
    LiveLink link;
    ASSERT_EQ(link.opened, 1);
    link.Send(Sentence("GPVTG,1.0,T,,M,1.0,N,1.9,K"));
    EXPECT_EQ(ClosePort(portHandle), 1);
    EXPECT_TRUE(WaitForReaderEnd());
}

// The Exit road: the process ends while the reader thread still waits; it must
// end cleanly (status 0). The probe program opens COM1, reports each step on
// standard output and returns from main without any shutdown step.
TEST(SerialLink, ExitRoadEndsTheProcessWithTheThreadWaiting)
{
    TempRoot root;
    Pty pty;
    LinkDevice(root, 1, pty.slavePath);
    int out[2];
    ASSERT_EQ(pipe(out), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    const std::string probe = std::string(VELKAR_BINARY_DIR) + "/tests/serial/serial_exit_probe";
    char* argv[] = {const_cast<char*>(probe.c_str()), const_cast<char*>(root.path.c_str()), nullptr};
    pid_t child = -1;
    ASSERT_EQ(posix_spawn(&child, probe.c_str(), &actions, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    // A check that fails half-way must not leave the probe waiting forever.
    struct Reaper {
        pid_t pid;
        ~Reaper()
        {
            if (pid <= 0) return;
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    } reaper{child};
    close(out[1]);
    FILE* from = fdopen(out[0], "r");
    char line[256] = {};
    ASSERT_NE(fgets(line, sizeof line, from), nullptr);
    EXPECT_STREQ(line, "open 1\n");
    pty.Write(Sentence("GPGGA,123456,4420.924,N,01143.050,E,1,5,1.69,30,M,47,M,,"));
    ASSERT_NE(fgets(line, sizeof line, from), nullptr);
    EXPECT_STREQ(line, "parsed 123456 waiting 1\n");
    fclose(from);
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    reaper.pid = -1;
    EXPECT_TRUE(WIFEXITED(status)) << "status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// The platform's reads: at once with the port's time-outs, or waiting for the
// first byte up to the read total with others.
TEST(SerialPlatform, ReadsFollowTheTimeouts)
{
    TempRoot root;
    Pty pty;
    LinkDevice(root, 4, pty.slavePath);
    const PortHandle port = OpenSerialDevice(u"COM4:");
    ASSERT_NE(port, kInvalidPort);
    SerialLineSettings line{115200, kLineBinary, 8, 0, 0};
    ASSERT_EQ(SetSerialLineSettings(port, &line), 1);
    unsigned char byte = 0;
    uint32_t delivered = 99;

    const SerialTimeouts atOnce = {0xFFFFFFFFu, 0, 0, 10, 1000};
    ASSERT_EQ(SetSerialTimeouts(port, &atOnce), 1);
    EXPECT_EQ(ReadSerial(port, &byte, 1, &delivered), 1);
    EXPECT_EQ(delivered, 0u);
    pty.Write("ab");
    uint32_t events = 0;
    ASSERT_EQ(SetSerialEventMask(port, kEventRxChar), 1);
    ASSERT_EQ(WaitSerialEvent(port, &events), 1);
    EXPECT_EQ(events, kEventRxChar);
    std::string got;
    while (got.size() < 2) {
        ASSERT_EQ(ReadSerial(port, &byte, 1, &delivered), 1);
        if (delivered == 1) got += static_cast<char>(byte);
    }
    EXPECT_EQ(got, "ab");
    EXPECT_EQ(ReadSerial(port, &byte, 1, &delivered), 1);
    EXPECT_EQ(delivered, 0u);

    const SerialTimeouts total = {0, 0, 20, 0, 0};  // 20 ms for the first byte
    ASSERT_EQ(SetSerialTimeouts(port, &total), 1);
    EXPECT_EQ(ReadSerial(port, &byte, 1, &delivered), 1);
    EXPECT_EQ(delivered, 0u);
    pty.Write("c");
    ASSERT_EQ(ReadSerial(port, &byte, 1, &delivered), 1);
    EXPECT_EQ(delivered, 1u);
    EXPECT_EQ(byte, 'c');

    // Settings a tty cannot take.
    const SerialLineSettings bad[] = {
        {4800, kLineBinary, 9, 0, 0},  // nine data bits
        {4800, kLineBinary, 8, 5, 0},  // parity code 5
        {4800, kLineBinary, 8, 0, 1},  // one and a half stop bits
        {0, kLineBinary, 8, 0, 0},     // speed 0 would hang the line up
    };
    for (const SerialLineSettings& b : bad) EXPECT_EQ(SetSerialLineSettings(port, &b), 0);
    EXPECT_EQ(CloseSerialDevice(port), 1);
    // A closed handle is refused everywhere.
    EXPECT_EQ(ReadSerial(port, &byte, 1, &delivered), 0);
    EXPECT_EQ(WaitSerialEvent(port, &events), 0);
    EXPECT_EQ(SetSerialEventMask(port, 0), 0);
    EXPECT_EQ(SetSerialTimeouts(port, &atOnce), 0);
    EXPECT_EQ(EscapeSerialFunction(port, kSetDtr), 0);
    EXPECT_EQ(GetSerialLineSettings(kInvalidPort, &line), 0);
}

// Port names (rows: name -> host path under the root, or the ttyS fallback).
TEST(SerialPlatform, PortNamesMapToDevicePaths)
{
    TempRoot root;
    LinkDevice(root, 2, "/dev/null");
    struct Row {
        const char16_t* name;
        std::string path;
    };
    const Row rows[] = {
        {u"COM2:", root.Dev(2)},      // the link in the root's dev folder
        {u"COM1:", "/dev/ttyS0"},     // no link: the first on-board port
        {u"COM5:", "/dev/ttyS4"},
        {u"COM12:", "/dev/ttyS11"},
        {u"COM255:", "/dev/ttyS254"},
        {u"COM256:", ""},
        {u"COM0:", ""},
        {u"com1:", ""},
        {u"COM:", ""},
        {u"COM1", ""},
        {u"COM1:x", ""},
        {u"", ""},
    };
    for (const Row& row : rows) {
        const std::u16string name = row.name;
        EXPECT_EQ(SerialDevicePath(row.name), row.path) << std::string(name.begin(), name.end());
    }
}
