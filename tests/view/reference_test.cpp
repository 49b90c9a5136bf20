// The navigator's own window in a real offscreen window. ReferenceTest: the view at 240 x 268, 1:1, view
// options off, demo root, pixel for pixel against tests/data/view-reference (VELKAR_WRITE_VIEW_REFERENCE=DIR
// writes them there). FollowTest: the follow rule with a receiver on a real pty; the trail across a restart.
#include <QCoreApplication>
#include <atomic>
#include <cmath>
#include "../serial/serial_support.h"
#include "geo/geo.h"
#include "gps/fix_history.h"
#include "platform/qt/qt_handles.h"
#include "store/prefs.h"
#include "store/view_options.h"
#include "view/trail.h"
#include "view/view.h"

namespace {
using Clock = std::chrono::steady_clock;
// A fresh start on the demo root (what the create handler does), then a row's steps: 3000 ms ticks (each
// feeds the next emulated GGA of the demo walk), -1 or the point GoTo Pref places the view on; kept: the
// picture compared with when not the row's own (name); zoomedFirst 1: painted at 4:1 and 1:8 first.
struct ReferenceRow { const char* name; int ticks, gotoPoint; const char* kept = nullptr; int zoomedFirst = 0; };
// Where they come from: demo/README.md (the walk westward along Via Roma; the Rocca, point 0, lies within
// 50 m of the third fix; Chiesa is point 2).
const ReferenceRow kRows[] = {
    {"no_fix", 0, -1},         // "GPS Not Fixed", circle and arrow on white
    {"first_fix", 1, -1},      // the map, the track line to the Rocca, "?" and the speed
    {"walking", 2, -1},        // moved west: arrow and speed of the second fix
    {"proximity", 3, -1},      // "!0": the Rocca in range
    {"goto_no_fix", 0, 2},     // GoTo Pref on Chiesa before any fix
    {"goto_after_fix", 1, 2},  // GoTo Pref on Chiesa while the fix holds
    {"first_fix_zoomed_and_back", 1, -1, "first_fix", 1}};
void PrintTo(const ReferenceRow& row, std::ostream* os) { *os << row.name; }
class ReferenceTest : public ::testing::TestWithParam<ReferenceRow> {
protected:
    static inline std::unique_ptr<TempRoot> root;
    static inline WindowHandle window = nullptr;
    static void SetUpTestSuite()
    {
        fs::copy(VELKAR_SOURCE_DIR "/demo", (root = std::make_unique<TempRoot>())->path, fs::copy_options::recursive);
        ASSERT_NE(window = AppWindow(), nullptr);
        StopTimer(window, kMainTimerId);  // ticks come from the rows only
    }
    static void TearDownTestSuite() { DestroyMainWindow(window), root.reset(); }
};
TEST_P(ReferenceTest, PictureIsTheKeptOne)
{
    const ReferenceRow& row = GetParam();
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState = GpsState{};  // as at a program start
    }
    ResetState(), selectedPref = 0;  // as at a program start
    SwitchMapBitmap();
    settings.audioMessages = 0;  // the chime is not part of the picture
    for (int i = 0; i < row.ticks; ++i) SendWindowMessage(window, kMsgTimer, kMainTimerId, 0);
    if (row.gotoPoint >= 0) {  // as the GoTo Pref dialog's "GoTo" does
        selectedPref = row.gotoPoint, gotoActive = 1;
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState.gridEasting = prefTable[row.gotoPoint].x, gpsState.gridNorthing = prefTable[row.gotoPoint].y;
    }
    for (int32_t step : {7, 0, kZoomOneToOne}) {
        if (row.zoomedFirst == 0 && step != kZoomOneToOne) continue;
        SetMapZoomStep(CurrentMapEntry(), step);
        InvalidateWindow(window, 1);
        UpdateWindowNow(window);
    }
    gotoActive = 0;
    const QImage frame = ClientImage(window).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(frame.size(), QSize(240, 268));
    const std::string name = std::string(row.kept != nullptr ? row.kept : row.name) + ".png";
    if (const char* out = std::getenv("VELKAR_WRITE_VIEW_REFERENCE"); out != nullptr && row.kept == nullptr) {
        ASSERT_TRUE(frame.save(QString::fromStdString(std::string(out) + "/" + name)));
        GTEST_SKIP() << "written to " << out;
    }
    const QString keptPath = QString::fromStdString(VELKAR_SOURCE_DIR "/tests/data/view-reference/" + name);
    const QImage kept = QImage(keptPath).convertToFormat(QImage::Format_RGB32);
    EXPECT_TRUE(frame == kept) << name << ": not the kept picture (" << kept.width() << " x " << kept.height() << ")";
}
INSTANTIATE_TEST_SUITE_P(Demo, ReferenceTest, ::testing::ValuesIn(kRows),  // named by their rows, as CTest shows them
                         [](const auto& info) { return std::string(info.param.name); });
// A receiver on a pty sends GGA fixes 10 a second, eastward at 5 km/h (0.1389 m a fix, 1.745e-6 degrees of
// longitude at 44.349 N), read by the real link, over a map of the given metres a pixel around the walk:
// paints counted while they come, then compared with the fixes the rule repaints for (a screen pixel
// moved since the last paint, from the grid positions the same conversion gives) and with ten a second.
TEST(FollowTest, TenHertzWalkerGetsARepaintForEveryPixelAndNoMoreThanTenASecond)
{
    TempRoot root;
    Pty pty;
    root.Link(1, pty.slavePath);
    WindowHandle window = AppWindow();
    ASSERT_NE(window, nullptr);
    StopTimer(window, kMainTimerId);  // only the follow rule repaints here
    settings.gpsEmulation = 0;        // the receiver is read, not the demo's canned walk
    ShowMainWindow(window, 1);
    ASSERT_EQ(OpenPort(u"COM1:", 4800), 1);
    const double startMinutes = 43.05, stepMinutes = 1.745e-6 * 60.0;
    const auto gridAt = [&](int fix) {
        double n = 0, e = 0;
        LatLonToGrid(44.34873333, 11.0 + (startMinutes + fix * stepMinutes) / 60.0, &n, &e);
        return std::make_pair(e, n);
    };
    const struct { const char* name; double metresPerPixel; int fixes; } rows[] = {
        {"0.1 m a pixel: every fix moves 1.4 pixels", 0.1, 30}, {"2 m a pixel: one fix in fifteen", 2.0, 45}};
    int sent = 0;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        const auto [e0, n0] = gridAt(sent);
        MapEntry& m = mapTable[currentMap = lastMapIndex = 0];
        m.widthPx = 4000, m.heightPx = 3000, m.topLeftX = e0 - 100 * r.metresPerPixel;
        m.topLeftY = n0 + 1500 * r.metresPerPixel, m.bottomRightX = m.topLeftX + 4000 * r.metresPerPixel;
        m.bottomRightY = m.topLeftY - 3000 * r.metresPerPixel;
        // The rule over the positions to come: a repaint whenever a fix lies a pixel or more from the last
        // painted one (the first fix paints: the view showed none).
        int expected = 0;
        double paintedEasting = NAN;
        for (int i = 0; i < r.fixes; ++i)
            if (const double e = gridAt(sent + i).first;
                std::isnan(paintedEasting) || std::fabs(e - paintedEasting) / r.metresPerPixel >= 1.0)
                ++expected, paintedEasting = e;
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
            for (int i = 0, t = sent; i < r.fixes; ++i, ++t) {  // t: tenths of a second since 16:34:00.0
                char gga[96];
                std::snprintf(gga, sizeof gga, "GPGGA,1634%02d.%d,4420.9240,N,0%.6f,E,1,8,0.9,30,M,47,M,,", t / 10 % 60,
                              t % 10, 1100.0 + startMinutes + t * stepMinutes);
                pty.Write(Sentence(gga));
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
}
// The trail across a restart: a walk of 40 fixes 5 m apart taken in by the follow poll, saved when the
// window goes, read when it comes back; the file there before, not a trail (garbage and a NUL), gives
// nothing. (The 10 km ring and the text read: core_test's ViewRules.)
TEST(FollowTest, TrailSurvivesARestartThroughItsFile)
{
    TempRoot root;
    fs::create_directories(root.path + "/My Documents/Velkar");
    std::ofstream(root.path + "/My Documents/Velkar/vltrail.txt", std::ios::binary) << std::string("x y\n\0\n1,5 2\n", 12);
    WindowHandle window = AppWindow();
    ASSERT_NE(window, nullptr);
    viewOptions.trail = 1;
    for (int i = 0; i < 40; ++i) {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState.fixQuality = 1, gpsState.gridEasting = 700000.0 + 5 * i, gpsState.gridNorthing = 4900000.0;
        RecordAcceptedFix(gpsState);
    }
    const auto end = Clock::now() + std::chrono::seconds(20);
    while (trail.count < 40 && Clock::now() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    DestroyMainWindow(window);
    ClearTrail();
    ASSERT_NE(window = AppWindow(), nullptr);
    ASSERT_EQ(trail.count, 40);
    EXPECT_DOUBLE_EQ(TrailPointAt(trail.count - 1).easting, 700195.0);
    DestroyMainWindow(window);
    viewOptions.trail = 0;
}
}  // namespace
