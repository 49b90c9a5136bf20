// What the trail adds to a repaint: the whole paint cycle of the main view in an
// offscreen window over a 2000 x 2000 map at 0.5 m a pixel, without a trail and
// with 10 km of it, straight (mostly off screen) or back and forth in view.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <mutex>

#include "app/globals.h"
#include "base/text.h"
#include "gps/gps_state.h"
#include "store/maps.h"
#include "store/view_options.h"
#include "view/trail.h"
#include "view/view.h"
#include "view_fixture.h"

namespace {

using namespace viewtest;
constexpr double kLeftX = 700000.0, kTopY = 5001000.0;

WindowHandle Window(int32_t w, int32_t h)
{
    static std::string root;
    static WindowHandle windows[2] = {};
    if (root.empty()) {
        root = SetUpViewWorld();
        std::atexit([] { TearDownViewWorld(); });
        WriteFile(root + "/My Documents/Velkar/trail.bmp",
                  BmpBytes(2000, 2000, 24, false, [](int32_t x, int32_t y) { return uint32_t(x * 7 & 0xFF) << 16 | uint32_t(y * 5 & 0xFF) << 8 | 0x80; }));
        MapEntry& m = mapTable[currentMap = 0];
        CopyText(m.bitmapPath, kBitmapPathSize, u"\\My Documents\\Velkar\\trail.bmp");
        m.widthPx = m.heightPx = 2000, m.topLeftX = kLeftX, m.topLeftY = kTopY;
        m.bottomRightX = kLeftX + 1000.0, m.bottomRightY = kTopY - 1000.0;
        SwitchMapBitmap();
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState.fixQuality = 1, gpsState.gridEasting = kLeftX + 500.0, gpsState.gridNorthing = kTopY - 500.0;
        gpsState.prevGridEasting = gpsState.gridEasting, gpsState.prevGridNorthing = gpsState.gridNorthing;
    }
    WindowHandle& window = windows[w > 240 ? 1 : 0];
    if (window == nullptr) window = CreateViewWindow(w, h);
    return window;
}

// state.range(0): client width (240 or 1920); range(1): 0 no trail, 1 straight, 2 back and forth.
void BM_Repaint(benchmark::State& state)
{
    const int32_t w = int32_t(state.range(0)), h = w > 240 ? 1080 : 268;
    WindowHandle window = Window(w, h);
    ClearTrail();
    viewOptions.trail = state.range(1) != 0;
    const double e = kLeftX + 500.0, n = kTopY - 500.0;
    for (int i = 0; i < 4001 && state.range(1) != 0; ++i) {
        if (state.range(1) == 1) AddTrailPoint(e - 10000.0 + i * 2.5, n);  // ends at the position
        else AddTrailPoint(e - 50.0 + (i % 40) * 2.5, n - 100.0 + (i / 40) * 2.0 + (i % 2));  // rows in view
    }
    for (auto _ : state) benchmark::DoNotOptimize(PaintFrame(window));
    state.counters["trail_points"] = trail.count;
    state.counters["trail_km"] = trail.length / 1000.0;
    viewOptions.trail = 0;
}
BENCHMARK(BM_Repaint)->ArgsProduct({{240, 1920}, {0, 1, 2}})->Unit(benchmark::kMillisecond);

}  // namespace
