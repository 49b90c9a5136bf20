// A receiver that vanishes (USB unplugged: the tty hangs up) and comes back: the
// reader thread must sleep meanwhile, take the device again by itself with the
// same settings, and still end at once at shutdown.
#include <sys/resource.h>
#include <termios.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "gps/gps_state.h"
#include "gps/serial_link.h"
#include "serial_support.h"
#include "store/settings.h"

namespace {

double ProcessCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

std::string Gga(const char* time)
{
    return Sentence(std::string("GPGGA,") + time + ",4420.924,N,01143.050,E,1,5,1.69,30,M,47,M,,");
}

// Writes a GGA with this time every 50 ms until the state shows it (bounded).
bool SendUntilSeen(Pty& pty, const char* time)
{
    const std::u16string expected(time, time + std::char_traits<char>::length(time));
    for (int i = 0; i < 400; ++i) {
        pty.Write(Gga(time));
        pty.DrainEcho();
        if (WaitForUtcTime(expected, 50)) return true;
    }
    return false;
}

}  // namespace

// Rows: how the receiver goes away. Both end with a new pty behind the link,
// as a replugged adapter comes back as a new tty.
TEST(SerialRecovery, ReadingResumesAfterUnplugAndReplug)
{
    struct Row {
        const char* name;
        bool removeLink;  // the adapter's device node goes with it
    };
    const Row rows[] = {{"other side of the pty closed", false}, {"device link removed too", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ResetLinkState();
        settings.gpsEmulation = 0;
        TempRoot root;
        auto pty = std::make_unique<Pty>();
        LinkDevice(root, 1, pty->slavePath);
        ASSERT_EQ(OpenPort(u"COM1:", 9600), 1);
        ASSERT_TRUE(SendUntilSeen(*pty, "100000"));

        pty->CloseMaster();
        if (row.removeLink) std::filesystem::remove(root.Dev(1));

        // Gone for about three seconds: the reader must not spin. A busy loop
        // would burn the whole three seconds; retries once a second cost
        // microseconds. The bound is generous: this checks idleness, not speed.
        const double before = ProcessCpuSeconds();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        const double used = ProcessCpuSeconds() - before;
        EXPECT_LT(used, 0.3) << "CPU seconds used while the device was gone";
        EXPECT_EQ(readerThreadsRunning.load(), 1);

        // Plugged back: a new tty behind the same name, still cooked and at
        // another speed; the reopen must give it the port's settings again.
        pty = std::make_unique<Pty>();
        termios t{};
        tcgetattr(pty->slave, &t);
        t.c_lflag |= ICANON | ECHO;
        t.c_iflag |= ICRNL;
        cfsetspeed(&t, B1200);
        tcsetattr(pty->slave, TCSANOW, &t);
        LinkDevice(root, 1, pty->slavePath);
        EXPECT_TRUE(SendUntilSeen(*pty, "100100"));
        termios now{};
        ASSERT_EQ(tcgetattr(pty->slave, &now), 0);
        EXPECT_EQ(cfgetospeed(&now), static_cast<speed_t>(B9600));
        EXPECT_EQ(now.c_lflag & (ICANON | ECHO), 0u);
        EXPECT_EQ(now.c_iflag & ICRNL, 0u);
        EXPECT_EQ(now.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_TRUE(ShutDownLink());
    }
}

// Shutdown while the device is gone and the reader sleeps between retries.
TEST(SerialRecovery, ShutdownReleasesWhileTheDeviceIsGone)
{
    ResetLinkState();
    TempRoot root;
    Pty pty;
    LinkDevice(root, 1, pty.slavePath);
    ASSERT_EQ(OpenPort(u"COM1:", 4800), 1);
    ASSERT_TRUE(SendUntilSeen(pty, "120000"));
    pty.CloseMaster();
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));  // into the retry sleep
    EXPECT_EQ(readerThreadsRunning.load(), 1);
    EXPECT_TRUE(ShutDownLink());
}

// A device that was never there at start is not retried: the user was told and
// there is no reader (retrying is for a device that was open and vanished).
TEST(SerialRecovery, NoRetryForAPortThatNeverOpened)
{
    TempRoot root;
    LinkDevice(root, 1, "/dev/velkar-not-yet");
    StderrCapture capture;
    EXPECT_EQ(OpenPort(u"COM1:", 4800), 0);
    EXPECT_NE(capture.Text().find("Unable to open the port"), std::string::npos);
    EXPECT_EQ(readerThreadsRunning.load(), 0);
}
