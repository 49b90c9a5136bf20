// The main view at the handheld's 240 x 268, 1:1, every view option off, against
// the pictures kept in tests/data/view-reference: the demo device root through the
// real main window procedure and resources, each state compared pixel for pixel.
// VELKAR_WRITE_VIEW_REFERENCE=DIR writes the pictures there instead of comparing.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "app/globals.h"
#include "app/shell.h"
#include "gps/gps_state.h"
#include "platform/files.h"
#include "platform/qt/qt_handles.h"
#include "resources/resources.h"
#include "store/prefs.h"
#include "store/maps.h"
#include "store/settings.h"
#include "store/view_options.h"
#include "view/view.h"

namespace {

namespace fs = std::filesystem;
const std::string kReferenceDir = VELKAR_SOURCE_DIR "/tests/data/view-reference";

// A fresh start on the demo root (what the create handler does), then the steps of a row.
struct ReferenceRow {
    const char* name;  // the picture's file name, without ".png"
    int ticks;         // 3000 ms ticks: each feeds the next emulated GGA of the demo walk
    int gotoPoint;     // -1, or the preference point GoTo Pref places the view on
    const char* kept = nullptr;  // the picture to compare with, when not the row's own
    int zoomedFirst = 0;         // 1: painted at 4:1 and at 1:8 first, then back at 1:1
};
// Where they come from: demo/README.md (the walk westward along Via Roma; the Rocca,
// point 0, lies within 50 m of the third fix; Chiesa is point 2).
const ReferenceRow kRows[] = {
    {"no-fix", 0, -1},          // "GPS Not Fixed", circle and arrow on white
    {"first-fix", 1, -1},       // the map, the track line to the Rocca, "?" and the speed
    {"walking", 2, -1},         // moved west: arrow and speed of the second fix
    {"proximity", 3, -1},       // "!0": the Rocca in range
    {"goto-no-fix", 0, 2},      // GoTo Pref on Chiesa before any fix
    {"goto-after-fix", 1, 2},   // GoTo Pref on Chiesa while the fix holds
    {"first-fix-zoomed-and-back", 1, -1, "first-fix", 1},
};

class ReferenceTest : public ::testing::TestWithParam<ReferenceRow> {
protected:
    static inline std::string root;
    static inline WindowHandle window = nullptr;
    static void SetUpTestSuite()
    {
        char pattern[] = "/tmp/velkar-reference-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = pattern;
        fs::copy(VELKAR_SOURCE_DIR "/demo", root, fs::copy_options::recursive);
        SetDeviceRoot(root);
        static const WindowClass wc = {3, MainWndProc, &velkarResources, 109, u"VelkarReference"};
        ASSERT_EQ(RegisterWindowClass(&wc), 1);
        hInstance = &velkarResources;
        window = CreateMainWindow(u"VelkarReference", u"Velkar", 0, kUseDefault, kUseDefault, kUseDefault, kUseDefault);
        ASSERT_NE(window, nullptr);
        StopTimer(window, kMainTimerId);  // ticks come from the rows only
    }
    static void TearDownTestSuite() { fs::remove_all(root); }
};

TEST_P(ReferenceTest, PictureIsTheKeptOne)
{
    const ReferenceRow& row = GetParam();
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState = GpsState{};  // as at a program start
    }
    ResetState();
    selectedPref = 0;  // as at a program start
    SwitchMapBitmap();
    settings.audioMessages = 0;  // the chime is not part of the picture
    for (int i = 0; i < row.ticks; ++i) SendWindowMessage(window, kMsgTimer, kMainTimerId, 0);
    if (row.gotoPoint >= 0) {  // as the GoTo Pref dialog's "GoTo" does
        selectedPref = row.gotoPoint;
        gotoActive = 1;
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
    const QImage kept = QImage(QString::fromStdString(kReferenceDir + "/" + name)).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(kept.size(), frame.size()) << name;
    int wrong = 0;
    for (int y = 0; y < frame.height(); ++y)
        for (int x = 0; x < frame.width(); ++x)
            if ((frame.pixel(x, y) & 0xFFFFFF) != (kept.pixel(x, y) & 0xFFFFFF) && wrong++ == 0)
                ADD_FAILURE() << name << ": first different pixel " << x << ", " << y;
    EXPECT_EQ(wrong, 0) << name;
}

INSTANTIATE_TEST_SUITE_P(Demo, ReferenceTest, ::testing::ValuesIn(kRows),
                         [](const auto& info) {
                             std::string n = info.param.name;
                             for (char& c : n) c = c == '-' ? '_' : c;
                             return n;
                         });

}  // namespace
