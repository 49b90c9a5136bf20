// The serial link on real pty pairs: a raw line, the line a device is given, the opening failures and
// their messages, port names, and both shutdown roads.
#include <sys/wait.h>
#include "platform/diagnostics.h"
#include "platform/posix/serial_source.h"
#include "platform/serial.h"
#include "serial_support.h"

namespace {
// The pty starts cooked, 7E2 with hardware and XON/XOFF flow control; the link makes it 8N1 raw at the
// speed asked for, holds it against a second opener, and after a released wait still hands over the whole
// text, 0xB0, DEL and ^C included. Release and close, or the close alone, end the reader; a second close: 0.
TEST(SerialLink, DeviceGetsEightNoneOneRawIsNotSharedAndShutsDown)
{
    for (auto [baud, code] : {std::pair{4800, B4800}, {38400, B38400}, {115200, B115200}}) {
        TempRoot root;
        Pty pty;
        SCOPED_TRACE(baud);
        termios t = pty.Settings();
        t.c_cflag = (t.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | CRTSCTS;
        t.c_iflag |= IXON | IXOFF | ICRNL | ISTRIP | INPCK, t.c_lflag |= ICANON | ECHO | ISIG, t.c_oflag |= OPOST;
        tcsetattr(pty.slave, TCSANOW, &t);
        root.Link(1, pty.slavePath), root.Link(2, pty.slavePath);
        // Port names: the root's entry, else the machine's ttyS (COMn: is ttyS n - 1), else none.
        const struct { const char16_t* name; std::string path; } names[] = {
            {u"COM2:", root.Dev(2)}, {u"COM3:", "/dev/ttyS2"}, {u"COM12:", "/dev/ttyS11"}, {u"COM255:", "/dev/ttyS254"},
            {u"COM256:", ""}, {u"COM0:", ""}, {u"com1:", ""}, {u"COM:", ""}, {u"COM1", ""}, {u"COM1:x", ""}, {u"", ""}};
        for (const auto& r : names) EXPECT_EQ(SerialDevicePath(r.name), r.path) << r.path;
        ASSERT_EQ(OpenPort(u"COM1:", baud), 1);
        t = pty.Settings();
        EXPECT_TRUE(cfgetispeed(&t) == speed_t(code) && cfgetospeed(&t) == speed_t(code));
        EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS | CREAD | CLOCAL), tcflag_t(CS8 | CREAD | CLOCAL));
        EXPECT_TRUE(!(t.c_iflag & (IXON | IXOFF | ICRNL | ISTRIP | INPCK)) && !(t.c_lflag & (ICANON | ECHO | ISIG)) &&
                    !(t.c_oflag & OPOST));
        int32_t why = kSerialOpened;
        EXPECT_EQ(CloseSerialDevice(OpenSerialDevice(u"COM2:", &why)), 1);
        EXPECT_EQ(why, kSerialBusy) << "a second opener shares the device";
        const uint32_t target = sentenceEnds.load() + 1;
        ReleasePortWait(portHandle), pty.Write("$GPGGA,120000,,\xB0\x7F\x03*00\r\n");
        EXPECT_TRUE(WaitForSentenceEnds(target) && Line() == u"$GPGGA,120000,,\u00B0\u007F\u0003");
        const PortHandle port = portHandle;
        if (baud != 38400) ReleasePortWait(port);
        EXPECT_TRUE(ClosePort(port) == 1 && portHandle.load() == kInvalidPort && ReaderEnded() && ClosePort(port) == 0);
    }
}
// "link:" a symlink, "file:" a source file as <root>/dev/COM3. A device or source is told once and tried
// again; a speed a tty does not take (0: no settings file) and a name that is no port are final, verbose
// words saying why. The handle stays (device waiting, or open unconfigured) unless the name is no port.
TEST(SerialLink, PortsThatCannotBeUsedAreReportedAndTriedAgain)
{
    const std::string open = "Error: Unable to open the port\n", configure = "Error: Unable to configure the serial port\n";
    const struct { const char16_t* port; std::string entry; int32_t baud; std::string messages; bool retried; const char* words;
    } rows[] = {
        {u"LPT1:", "", 4800, open, false, "is not a port name"},
        {u"COM3:", "link:/dev/null", 4800, open, true, "not a serial device"},
        {u"COM3:", "file:tcp://127.0.0.1", 4800, open, true, "not a source line"},
        {u"COM3:", "pty", 0, configure, false, "no settings file"},
        {u"COM3:", "pty", -9600, configure, false, "does not take 4294957696"},
        {u"COM3:", "link:/dev/velkar-no-such-tty", 0, open + configure, false, "no such device"}};
    SetVerbose(1);
    for (const auto& r : rows) {
        SCOPED_TRACE(r.entry + " " + std::to_string(r.baud));
        TempRoot root;
        Pty pty;
        if (r.entry == "pty") root.Link(3, pty.slavePath);
        if (r.entry.rfind("link:", 0) == 0) root.Link(3, r.entry.substr(5));
        if (r.entry.rfind("file:", 0) == 0) root.Source(3, r.entry.substr(5));
        StderrCapture capture;
        EXPECT_EQ(OpenPort(r.port, r.baud), 0);
        const std::string text = capture.Text();
        std::string boxes;
        for (size_t at = text.find("Error: "); at != std::string::npos; at = text.find("Error: ", at + 1))
            boxes += text.substr(at, text.find('\n', at) + 1 - at);
        EXPECT_TRUE(boxes == r.messages && text.find(r.words) != std::string::npos) << text;
        EXPECT_EQ(readerThreadsRunning.load(), r.retried ? 1 : 0);
        EXPECT_EQ(portHandle.load() != kInvalidPort, r.retried || r.entry == "pty" || r.baud == 0);
        EXPECT_TRUE(ShutDownLink());
    }
    SetVerbose(0);
    // Permission denied names the group to join (root never meets it; the words are checked here).
    EXPECT_NE(OpenFailureWords("/dev/velkar-none", SourceFailure::Refused, EACCES).find("add yourself to the dialout group"),
              std::string::npos);
}
// serial_exit_probe opens COM1 and returns from main with no shutdown (under a timeout guard).
TEST(SerialLink, ExitRoadEndsTheProcessWithTheThreadWaiting)
{
    TempRoot root;
    Pty pty;
    root.Link(1, pty.slavePath);
    const std::string probe = "timeout 60 '" VELKAR_BINARY_DIR "/tests/serial/serial_exit_probe' '" + root.path + "'";
    FILE* from = popen(probe.c_str(), "r");
    ASSERT_NE(from, nullptr);
    char line[64] = {}, parsed[64] = {};
    if (fgets(line, sizeof line, from) != nullptr && std::strcmp(line, "open 1\n") == 0) pty.Write(Gga("123456"));
    fgets(parsed, sizeof parsed, from);
    const int status = pclose(from);
    EXPECT_STREQ(line, "open 1\n");
    EXPECT_STREQ(parsed, "parsed 123456 waiting 1\n");
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
}
}  // namespace
