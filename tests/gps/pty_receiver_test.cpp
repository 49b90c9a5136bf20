// A receiver that sends GGA, RMC, GSA and GSV but no VTG (as a BU-353 does), on a real pty, read by
// the real reader thread and painted by the real main view in an offscreen window: "Fix" and the RMC's
// speed are on screen, pixel for pixel as the platform draws that text.
#include <QImage>
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
    settings.gpsEmulation = gotoActive = 0;
    ResetGpsState();
    Pty pty;
    fs::create_directories(root + "/dev"), fs::create_symlink(pty.slavePath, root + "/dev/COM1");
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
}  // namespace
