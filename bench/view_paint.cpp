// Cost of painting the main view and of loading a map bitmap. The paint runs the
// whole cycle (erase, message 15, every drawing call) in an offscreen window; the
// huge map (8000 x 8000) is generated into /tmp on first use and removed at exit.
// The paint event of a shown window is put beside Qt's own paint event drawing a
// same-size image, measured in the same run (counter "x_drawImage").
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QPainter>
#include <QWidget>

#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

#include "app/globals.h"
#include "base/text.h"
#include "gps/gps_state.h"
#include "platform/files.h"
#include "platform/qt/qt_handles.h"
#include "store/maps.h"
#include "store/prefs.h"
#include "store/settings.h"
#include "view/view.h"
#include "view_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace viewtest;

std::string world;  // the temporary device root

void EnsureWorld()
{
    if (!world.empty()) return;
    world = SetUpViewWorld();
    std::atexit([] { TearDownViewWorld(); });
}

uint32_t Pattern(int32_t x, int32_t y) { return (uint32_t(x * 7 & 0xFF) << 16) | (uint32_t(y * 5 & 0xFF) << 8) | 0x80; }

// Writes a width x height 24-bit BMP row by row (the 8000 x 8000 one is 192 MB).
std::string EnsureBmp(int32_t width, int32_t height)
{
    EnsureWorld();
    const std::string name = "map-" + std::to_string(width) + "x" + std::to_string(height) + ".bmp";
    const std::string path = world + "/My Documents/Velkar/" + name;
    if (fs::exists(path)) return name;
    const uint32_t stride = ((uint32_t(width) * 24 + 31) / 32) * 4;
    std::string header = BmpBytes(1, 1, 24, false, Pattern).substr(0, 54);
    auto put = [&header](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) header[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    };
    put(2, 54 + stride * uint32_t(height));
    put(18, uint32_t(width));
    put(22, uint32_t(height));
    put(34, stride * uint32_t(height));
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(header.data(), 54);
    std::string row(stride, '\0');
    for (int32_t i = 0; i < height; ++i) {
        const int32_t y = height - 1 - i;
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t c = Pattern(x, y);
            row[3 * x] = static_cast<char>(c & 0xFF);
            row[3 * x + 1] = static_cast<char>((c >> 8) & 0xFF);
            row[3 * x + 2] = static_cast<char>((c >> 16) & 0xFF);
        }
        out.write(row.data(), stride);
    }
    return name;
}

// Makes entry 0 a map of the bitmap at one metre per pixel and loads it.
void UseMap(const std::string& devicePath, int32_t width, int32_t height)
{
    MapEntry& m = mapTable[0];
    currentMap = 0;
    CopyText(m.bitmapPath, kBitmapPathSize, Utf8ToText(devicePath).c_str());
    m.widthPx = width;
    m.heightPx = height;
    m.topLeftX = 700000.0;
    m.topLeftY = 5000000.0 + height;
    m.bottomRightX = 700000.0 + width;
    m.bottomRightY = 5000000.0;
    m.calibX = 0;
    m.calibY = 0;
    SwitchMapBitmap();
}

// A fix in the middle of the current map, moving, with the track line and the
// proximity indicator on (audio off: a sound would be timed, not the paint).
void FixInTheMiddle()
{
    const MapEntry& m = CurrentMapEntry();
    const double e = (m.topLeftX + m.bottomRightX) / 2.0;
    const double n = (m.topLeftY + m.bottomRightY) / 2.0;
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState.fixQuality = 1;
        gpsState.gridEasting = e;
        gpsState.gridNorthing = n;
        gpsState.prevGridEasting = e - 12.0;
        gpsState.prevGridNorthing = n - 9.0;
        gpsState.speedKmh = 12.36;
        gpsState.course = 100.0;
    }
    settings.trackToTarget = 1;
    settings.proximity = 1;
    settings.audioMessages = 0;
    lastPrefIndex = 1;
    selectedPref = 1;
    prefTable[0] = PrefPoint{e + 20.0, n + 10.0, 1, u"\\bip.wav", u"near"};
    prefTable[1] = PrefPoint{e + 60.0, n + 80.0, 0, u"\\bip.wav", u"target"};
}

void PaintLoop(benchmark::State& state, WindowHandle window)
{
    for (auto _ : state) {
        InvalidateWindow(window, 1);
        UpdateWindowNow(window);
    }
}

void BM_PaintDemoMap(benchmark::State& state)
{
    EnsureWorld();
    // The demo's first map (741 x 498), read from the demo device root.
    const std::string demo = std::string(VELKAR_SOURCE_DIR) + "/demo/My Documents/Velkar/centro.bmp";
    if (!fs::exists(demo)) {
        state.SkipWithError("demo/My Documents/Velkar/centro.bmp is missing");
        return;
    }
    fs::copy_file(demo, world + "/My Documents/Velkar/centro.bmp", fs::copy_options::overwrite_existing);
    FillDefaultMapEntry(0);
    currentMap = 0;
    CopyText(mapTable[0].bitmapPath, kBitmapPathSize, u"\\My Documents\\Velkar\\centro.bmp");
    SwitchMapBitmap();
    if (mapBitmap == nullptr) {
        state.SkipWithError("the demo map did not load");
        return;
    }
    FixInTheMiddle();
    static WindowHandle window = CreateViewWindow(240, 268);
    PaintLoop(state, window);
}
BENCHMARK(BM_PaintDemoMap)->Unit(benchmark::kMicrosecond);

// Arguments: map width (741 x 498, 1400 x 900 or 8000 x 8000) and client size. A
// 741 x 498 map covers only part of a 1280 x 800 client; the 1400 x 900 one covers
// all of it, as the huge one does, for a comparison of equal drawn areas.
void BM_PaintMapSize(benchmark::State& state)
{
    const int32_t mw = int32_t(state.range(0));
    const int32_t mh = mw == 8000 ? 8000 : (mw == 1400 ? 900 : 498);
    const int32_t cw = int32_t(state.range(1)), ch = int32_t(state.range(2));
    const std::string name = EnsureBmp(mw, mh);
    static std::string loaded;
    if (loaded != name) {
        UseMap("\\My Documents\\Velkar\\" + name, mw, mh);
        loaded = name;
    }
    if (mapBitmap == nullptr) {
        state.SkipWithError("map did not load");
        return;
    }
    FixInTheMiddle();
    WindowHandle window = CreateViewWindow(cw, ch);
    PaintLoop(state, window);
    DestroyMainWindow(window);
    state.SetLabel(std::to_string(mw) + "x" + std::to_string(mh) + " map, " + std::to_string(cw) + "x" +
                   std::to_string(ch) + " client");
}
BENCHMARK(BM_PaintMapSize)
    ->Args({741, 240, 268})
    ->Args({8000, 240, 268})
    ->Args({741, 1280, 800})
    ->Args({1400, 1280, 800})
    ->Args({8000, 1280, 800})
    ->Unit(benchmark::kMicrosecond);

long ResidentKiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

void BM_LoadHugeBmp(benchmark::State& state)
{
    const std::string name = EnsureBmp(8000, 8000);
    const std::u16string path = Utf8ToText("\\My Documents\\Velkar\\" + name);
    // The map in use is released first so that the resident growth is the new one's.
    if (mapBitmap != nullptr) DeleteObject(mapBitmap);
    mapBitmap = nullptr;
    long growth = 0;
    for (auto _ : state) {
        const long before = ResidentKiB();
        BitmapHandle bitmap = LoadBitmapFile(path.c_str());
        const long after = ResidentKiB();
        state.PauseTiming();
        if (bitmap == nullptr) {
            state.SkipWithError("the 8000 x 8000 BMP did not load");
            break;
        }
        growth = after - before;
        DeleteObject(bitmap);
        state.ResumeTiming();
    }
    struct rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["resident_growth_MiB"] = double(growth) / 1024.0;
    state.counters["peak_resident_MiB"] = double(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_LoadHugeBmp)->Unit(benchmark::kMillisecond)->Iterations(3);

// This thread's processor time in microseconds: on a shared machine, wall time
// counts the other programs too; both sides of a ratio are measured this way.
double ThreadMicroseconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
}

// Qt's own paint event for a client of one size: a widget that draws a same-size
// image and nothing else, updated and painted by the event loop. Microseconds.
class ImageWidget : public QWidget {
public:
    explicit ImageWidget(QSize size) : image_(size, QImage::Format_RGB32)
    {
        image_.fill(Qt::white);
        setAttribute(Qt::WA_OpaquePaintEvent);
        resize(size);
    }

protected:
    void paintEvent(QPaintEvent*) override { QPainter(this).drawImage(0, 0, image_); }

private:
    QImage image_;
};

double DrawImageMicroseconds(QSize size, int64_t rounds)
{
    ImageWidget widget(size);
    widget.show();
    QCoreApplication::processEvents();
    widget.repaint();
    const double start = ThreadMicroseconds();
    for (int64_t i = 0; i < rounds; ++i) widget.update(), QCoreApplication::processEvents();
    return (ThreadMicroseconds() - start) / double(rounds);
}

// The whole paint event of the shown navigator window, as the event loop runs it, (erase, message 15 with the
// map covering the client, the texts, circles and arrow, the transfer to the
// window), next to Qt's own paint event of a same-size image.
void BM_PaintEvent(benchmark::State& state)
{
    const int32_t cw = int32_t(state.range(0)), ch = int32_t(state.range(1));
    const int32_t mw = cw + 480, mh = ch + 320;  // covers the client around the position
    const std::string name = EnsureBmp(mw, mh);
    UseMap("\\My Documents\\Velkar\\" + name, mw, mh);
    if (mapBitmap == nullptr) {
        state.SkipWithError("map did not load");
        return;
    }
    FixInTheMiddle();
    WindowHandle window = CreateViewWindow(cw, ch);
    ShowMainWindow(window, 1);
    QCoreApplication::processEvents();
    QWidget* client = WidgetOfHandle(window)->findChild<QWidget*>(QStringLiteral("velkar-client"));
    const double start = ThreadMicroseconds();
    client->repaint();
    for (auto _ : state) {  // as the tick asks: invalidate, then the event loop paints
        InvalidateWindow(window, 1);
        QCoreApplication::processEvents();
    }
    const double paint = (ThreadMicroseconds() - start) / double(state.iterations());
    state.counters["paint_us"] = paint;
    const double drawImage = DrawImageMicroseconds(QSize(cw, ch), std::max<int64_t>(state.iterations(), 50));
    state.counters["drawImage_us"] = drawImage;
    state.counters["x_drawImage"] = paint / drawImage;
    DestroyMainWindow(window);
    QCoreApplication::processEvents();
    state.SetLabel(std::to_string(cw) + "x" + std::to_string(ch) + " client, map covering it");
}
BENCHMARK(BM_PaintEvent)->Args({240, 268})->Args({1920, 1080})->Unit(benchmark::kMicrosecond);

}  // namespace
