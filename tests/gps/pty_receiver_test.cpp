// A receiver that sends GGA, RMC, GSA and GSV but no VTG (as a BU-353 does), on a real pty,
// read by the real reader thread and painted by the real main view in an offscreen window:
// "Fix" and the RMC's speed are on screen, pixel for pixel as the platform draws that text.
// And a receiver unplugged in the middle of a sentence: its stub is not glued to what the
// device sends once it is back.
#include <QImage>

#include <memory>

#include "gps/fix_history.h"
#include "serial_support.h"
#include "view_fixture.h"

namespace {

int Differences(const QImage& a, const QImage& b)  // in the speed text's box, bottom left
{
    int n = 0;
    for (int y = 240; y < 268; ++y)
        for (int x = 0; x < 120; ++x) n += (a.pixel(x, y) & 0xFFFFFF) != (b.pixel(x, y) & 0xFFFFFF);
    return n;
}

TEST(PtyReceiver, RmcWithoutVtgShowsFixAndSpeedOnScreen)
{
    const std::string root = viewtest::SetUpViewWorld();
    ASSERT_FALSE(root.empty());
    const WindowHandle window = viewtest::CreateViewWindow(240, 268);
    ASSERT_NE(window, nullptr);
    settings.gpsEmulation = 0, gotoActive = 0;
    ResetGpsState();
    Pty pty;
    fs::create_directories(root + "/dev");
    fs::create_symlink(pty.slavePath, root + "/dev/COM1");
    ASSERT_EQ(OpenPort(u"COM1:", 4800), 1);
    // 5.0 knots are 9.26 km/h, shown with one decimal.
    const std::string rmc = "GPRMC,081414.000,A,5541.1961,N,03737.2893,E,5.00,87.5,071226,,,A";
    const std::string epoch = Sentence("GPGGA,081414.000,5541.1961,N,03737.2893,E,1,05,4.87,66.2,M,14.4,M,,0000") +
                              Sentence("GPGSA,A,3,26,05,29,15,21,,,,,,,,5.06,4.87,1.38") +
                              Sentence("GPGSV,1,1,04,26,63,231,28,05,52,289,31,29,41,086,24,15,19,077,26") + Sentence(rmc);
    EXPECT_TRUE(WaitUntil([&] {
        pty.Write(epoch), pty.DrainEcho();
        return WaitUntil([&] { return Line() == u"$" + std::u16string(rmc.begin(), rmc.end()); }, 100);
    }));
    EXPECT_EQ(SnapshotGpsState().fixQuality, 1);
    const QImage frame = viewtest::PaintFrame(window);
    viewtest::SetReferenceText(u"Fix  9.3Km/h", 1, 245);
    const QImage shown = viewtest::PaintFrame(window);
    viewtest::SetReferenceText(u"Fix  0.0Km/h", 1, 245);
    const QImage still = viewtest::PaintFrame(window);
    viewtest::SetReferenceText(nullptr, 0, 0);
    EXPECT_EQ(Differences(frame, shown), 0) << "Fix  9.3Km/h";
    EXPECT_GT(Differences(frame, still), 0) << "not the 0.0 of a receiver without VTG";
    EXPECT_TRUE(ShutDownLink());
    DestroyMainWindow(window);
    viewtest::TearDownViewWorld();
}

TEST(PtyReceiver, StubOfAnUnpluggedReceiverIsDropped)
{
    TempRoot root;
    auto pty = std::make_unique<Pty>();
    root.Link(1, pty->slavePath);
    ASSERT_EQ(OpenPort(u"COM1:", 9600), 1);
    ASSERT_TRUE(SendUntilSeen(*pty, "100000"));
    pty->Write("$GPGGA,100001,4420.9"), pty->DrainEcho();  // cut off by the unplugging
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    pty->Unplug();
    fs::remove(root.Dev(1));
    pty = std::make_unique<Pty>();
    root.Link(1, pty->slavePath);
    const uint64_t before = LatestFixSerial();
    // The rest of the cut sentence comes first; glued to the stub it would be a GGA of 100001.
    for (int i = 0; i < 400 && UtcTime() != u"100002"; ++i) {
        pty->Write("24,N,01143.050,E,1,5,1.69,30,M,47,M,,*00\r\n" + Gga("100002")), pty->DrainEcho();
        WaitForUtcTime(u"100002", 50);
    }
    EXPECT_EQ(UtcTime(), u"100002");
    AcceptedFix fixes[kFixHistorySize];
    const int32_t n = TakeFixesAfter(before, fixes, kFixHistorySize);
    EXPECT_GE(n, 1);
    for (int32_t i = 0; i < n; ++i) EXPECT_EQ(std::u16string(fixes[i].utcTime), u"100002") << "the stub was glued on";
    EXPECT_TRUE(ShutDownLink());
}

}  // namespace
