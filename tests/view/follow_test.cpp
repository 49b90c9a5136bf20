// The follow rule end to end: a receiver on a real pty sending a GGA ten times a
// second at walking pace (5 km/h), read by the real link, shown by the real main
// window procedure; its paints are counted against the fixes that moved the
// position a screen pixel since the last paint, and against ten a second.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <QCoreApplication>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/globals.h"
#include "app/shell.h"
#include "geo/geo.h"
#include "gps/serial_link.h"
#include "platform/files.h"
#include "resources/resources.h"
#include "store/maps.h"
#include "gps/fix_history.h"
#include "store/view_options.h"
#include "view/follow.h"
#include "view/trail.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
int paints = 0;

intptr_t CountingProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    paints += message == kMsgPaint;
    return MainWndProc(window, message, wParam, lParam);
}

std::string Gga(int tenths, double lonMinutes)
{
    char body[128];
    std::snprintf(body, sizeof body, "GPGGA,1634%02d.%d,4420.9240,N,0%.6f,E,1,8,0.9,30,M,47,M,,", tenths / 10 % 60,
                  tenths % 10, 1100.0 + lonMinutes);
    unsigned sum = 0;
    for (const char* c = body; *c; ++c) sum ^= static_cast<unsigned char>(*c);
    char line[160];
    std::snprintf(line, sizeof line, "$%s*%02X\r\n", body, sum);
    return line;
}

// Fixes 10 a second, eastward at 5 km/h (0.1389 m a fix, 1.745e-6 degrees of longitude at
// 44.349 N), over a map of the given metres a pixel around the walk: paints counted while
// they come, then compared with the fixes the rule repaints for (from the grid positions
// the same conversion gives) and with ten a second over the time they took.
TEST(FollowTest, TenHertzWalkerGetsARepaintForEveryPixelAndNoMoreThanTenASecond)
{
    char pattern[] = "/tmp/velkar-follow-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string root = pattern;
    fs::create_directories(root + "/dev");
    SetDeviceRoot(root);
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master) | unlockpt(master), 0);
    fs::create_symlink(ptsname(master), root + "/dev/COM1");

    static const WindowClass wc = {3, CountingProc, &velkarResources, 109, u"VelkarFollow"};
    ASSERT_EQ(RegisterWindowClass(&wc), 1);
    hInstance = &velkarResources;
    WindowHandle window = CreateMainWindow(u"VelkarFollow", u"Velkar", 0, kUseDefault, kUseDefault, kUseDefault,
                                           kUseDefault);
    ASSERT_NE(window, nullptr);
    StopTimer(window, kMainTimerId);  // only the follow rule repaints here
    ShowMainWindow(window, 1);
    ASSERT_EQ(OpenPort(u"COM1:", 4800), 1);

    const double startMinutes = 43.05, stepMinutes = 1.745e-6 * 60.0;
    const struct { const char* name; double metresPerPixel; int fixes; } rows[] = {
        {"0.1 m a pixel: every fix moves 1.4 pixels", 0.1, 30},
        {"0.4 m a pixel: one fix in three", 0.4, 30},
        {"2 m a pixel: one fix in fifteen", 2.0, 45},
    };
    int sent = 0;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        double n0 = 0, e0 = 0;
        LatLonToGrid(44.34873333, 11.0 + (startMinutes + sent * stepMinutes) / 60.0, &n0, &e0);
        MapEntry& m = mapTable[currentMap = 0];
        m.widthPx = 4000, m.heightPx = 3000, m.topLeftX = e0 - 100 * r.metresPerPixel;
        m.topLeftY = n0 + 1500 * r.metresPerPixel, m.bottomRightX = m.topLeftX + 4000 * r.metresPerPixel;
        m.bottomRightY = m.topLeftY - 3000 * r.metresPerPixel, lastMapIndex = 0;

        // The rule over the positions to come: a repaint whenever a fix lies a pixel or
        // more from the last painted one (the first fix paints: the view showed none).
        int expected = 0;
        double paintedEasting = NAN;
        for (int i = 0; i < r.fixes; ++i) {
            double n = 0, e = 0;
            LatLonToGrid(44.34873333, 11.0 + (startMinutes + (sent + i) * stepMinutes) / 60.0, &n, &e);
            if (std::isnan(paintedEasting) || std::fabs(e - paintedEasting) / r.metresPerPixel >= 1.0)
                ++expected, paintedEasting = e;
        }
        InvalidateWindow(window, 1);  // a paint without a position: the first fix repaints
        {
            std::lock_guard<std::mutex> lock(gpsMutex);
            gpsState.fixQuality = 0;
        }
        UpdateWindowNow(window);
        QCoreApplication::processEvents();
        paints = 0;
        std::atomic<bool> done{false};
        const auto start = Clock::now();
        std::thread receiver([&] {
            for (int i = 0; i < r.fixes; ++i) {
                const std::string line = Gga(sent + i, startMinutes + (sent + i) * stepMinutes);
                (void)!write(master, line.data(), line.size());
                std::this_thread::sleep_until(start + std::chrono::milliseconds(100 * (i + 1)));
            }
            done = true;
        });
        while (!done || Clock::now() < start + std::chrono::milliseconds(100 * r.fixes + 300))
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        receiver.join();
        sent += r.fixes;
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        EXPECT_GE(paints, expected * 9 / 10) << "expected about " << expected;
        EXPECT_LE(paints, expected + 1);
        EXPECT_LE(paints, 10.0 * seconds + 1) << seconds << " s";
    }
    DestroyMainWindow(window);
    close(master);
    fs::remove_all(root);
}

// The trail across a restart: a walk of 40 fixes 5 m apart taken in by the follow poll,
// saved when the window goes, read when it comes back; a file that is not a trail, or one
// longer than 10 km, gives what can be kept of it and nothing else.
TEST(FollowTest, TrailSurvivesARestartThroughItsFile)
{
    char pattern[] = "/tmp/velkar-trail-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    const std::string root = pattern, file = root + "/My Documents/Velkar/vltrail.txt";
    SetDeviceRoot(root);
    fs::create_directories(root + "/My Documents/Velkar");
    static const WindowClass wc = {3, MainWndProc, &velkarResources, 109, u"VelkarTrail"};
    ASSERT_EQ(RegisterWindowClass(&wc), 1);
    hInstance = &velkarResources;
    std::string longFile;
    for (int i = 0; i < 5000; ++i) longFile += std::to_string(700000 + 3 * i) + ".00 4900000.00\n";
    const struct { const char* name; std::string before; int walk; int32_t count; double lastEasting; } rows[] = {
        {"no file: the walk alone", "", 40, 40, 700195.0},
        {"garbage and a NUL: skipped, the walk kept", std::string("x y\n\0\n1,5 2\n", 12), 40, 40, 700195.0},
        {"a 15 km file: its newest 10 km (3334 steps of 3 m)", longFile, 0, 3335, 700000.0 + 3 * 4999},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        fs::remove(file);
        if (!r.before.empty()) std::ofstream(file, std::ios::binary) << r.before;
        WindowHandle window = CreateMainWindow(u"VelkarTrail", u"Velkar", 0, kUseDefault, kUseDefault, kUseDefault,
                                               kUseDefault);
        ASSERT_NE(window, nullptr);
        viewOptions.trail = 1;
        for (int i = 0; i < r.walk; ++i) {
            std::lock_guard<std::mutex> lock(gpsMutex);
            gpsState.fixQuality = 1, gpsState.gridEasting = 700000.0 + 5 * i, gpsState.gridNorthing = 4900000.0;
            RecordAcceptedFix(gpsState);
        }
        const auto end = Clock::now() + std::chrono::seconds(20);
        while (trail.count < r.walk && Clock::now() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        DestroyMainWindow(window);
        ClearTrail();
        window = CreateMainWindow(u"VelkarTrail", u"Velkar", 0, kUseDefault, kUseDefault, kUseDefault, kUseDefault);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(trail.count, r.count);
        if (trail.count > 0) EXPECT_DOUBLE_EQ(TrailPointAt(trail.count - 1).easting, r.lastEasting);
        DestroyMainWindow(window);
    }
    viewOptions.trail = 0;
    fs::remove_all(root);
}

}  // namespace
