// Drawing layer costs: the AND block transfer of a small (741 x 498) and a huge
// (8000 x 8000) map onto 240 x 268 and 1280 x 800 clients (only the visible part
// may cost), text on its band, the other paint operations, and loading an
// 8000 x 8000 24-bit BMP (time, and resident memory it adds).
#include <benchmark/benchmark.h>

#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/draw.h"
#include "platform/files.h"
#include "platform/qt/qt_handles.h"

namespace {

void Ready()
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    EnsureQtApplication();
}

QImage MapPicture(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) row[x] = 0xFF000000u | ((x * 7) & 0xFF) << 16 | ((y * 3) & 0xFF) << 8 | 0xC0;
    }
    return image;
}

// One block transfer as the view does it: the map placed so that its middle is
// the client's centre, the whole bitmap named, the client clipping it.
void BM_TransferAnd(benchmark::State& state)
{
    Ready();
    const int mapW = static_cast<int>(state.range(0)), mapH = static_cast<int>(state.range(1));
    const int clientW = static_cast<int>(state.range(2)), clientH = static_cast<int>(state.range(3));
    BitmapHandle map = CreateBitmapFromImage(MapPicture(mapW, mapH));
    QImage white(clientW, clientH, QImage::Format_RGB32);
    white.fill(Qt::white);
    BitmapHandle client = CreateBitmapFromImage(white);
    SurfaceHandle dst = CreateCompatibleSurface(nullptr);
    SurfaceHandle src = CreateCompatibleSurface(nullptr);
    ObjectHandle oldDst = SelectObject(dst, client);
    ObjectHandle oldSrc = SelectObject(src, map);
    const int left = clientW / 2 - mapW / 2, top = clientH / 2 - mapH / 2;
    for (auto _ : state) {
        BlockTransfer(dst, left, top, mapW, mapH, src, 0, 0, kRopSourceAnd);
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::to_string(mapW) + "x" + std::to_string(mapH) + " onto " + std::to_string(clientW) + "x" +
                   std::to_string(clientH));
    SelectObject(dst, oldDst);
    SelectObject(src, oldSrc);
    DeleteSurface(dst);
    DeleteSurface(src);
    DeleteObject(client);
    DeleteObject(map);
}
BENCHMARK(BM_TransferAnd)
    ->Args({741, 498, 240, 268})
    ->Args({8000, 8000, 240, 268})
    ->Args({741, 498, 1280, 800})
    ->Args({8000, 8000, 1280, 800})
    ->Unit(benchmark::kMicrosecond);

// The other operations of one paint, in the view's order, on a 240 x 268 surface.
void BM_PaintOperations(benchmark::State& state)
{
    Ready();
    QImage white(240, 268, QImage::Format_RGB32);
    white.fill(Qt::white);
    BitmapHandle client = CreateBitmapFromImage(white);
    SurfaceHandle s = CreateCompatibleSurface(nullptr);
    ObjectHandle oldBitmap = SelectObject(s, client);
    for (auto _ : state) {
        SetTextColor(s, 0xFF0000);
        FontAttributes a{};
        a.height = 22;
        a.weight = kFontWeightBold;
        ObjectHandle font = CreateFontObject(&a);
        ObjectHandle oldFont = SelectObject(s, font);
        ObjectHandle pen = CreatePenObject(kPenDash, 2, 0xFF0000);
        ObjectHandle oldPen = SelectObject(s, pen);
        const Point track[] = {{100, 120}, {120, 134}, {200, 40}};
        Polyline(s, track, 3);
        Ellipse(s, 202, 42, 198, 38);
        Rect r{1, 10, 240, 268};
        DrawTextInRect(s, u"!2", -1, &r, kDtInternal);
        r = Rect{1, 245, 240, 268};
        DrawTextInRect(s, u"Fix  12.4Km/h", -1, &r, kDtInternal);
        Ellipse(s, 126, 140, 114, 128);
        SelectObject(s, oldPen);
        DeleteObject(pen);
        SelectObject(s, oldFont);
        DeleteObject(font);
    }
    SelectObject(s, oldBitmap);
    DeleteSurface(s);
    DeleteObject(client);
}
BENCHMARK(BM_PaintOperations)->Unit(benchmark::kMicrosecond);

long ResidentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

// Writes an 8000 x 8000 24-bit bottom-up BMP (183 MB) once into a scratch folder.
std::string HugeBmpFolder()
{
    static std::string folder = [] {
        const std::string f = (std::filesystem::temp_directory_path() / ("velkar-bench-" + std::to_string(getpid()))).string();
        std::filesystem::create_directories(f);
        const int w = 8000, h = 8000;
        const uint32_t stride = w * 3, size = 54 + stride * h;
        std::vector<uint8_t> head(54, 0);
        auto put32 = [&](size_t at, uint32_t v) {
            for (size_t i = 0; i < 4; ++i) head[at + i] = (v >> (8 * i)) & 0xFF;
        };
        head[0] = 'B';
        head[1] = 'M';
        put32(2, size);
        put32(10, 54);
        put32(14, 40);
        put32(18, w);
        put32(22, h);
        head[26] = 1;
        head[28] = 24;
        std::ofstream out(f + "/huge.bmp", std::ios::binary);
        out.write(reinterpret_cast<const char*>(head.data()), 54);
        std::vector<uint8_t> row(stride);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                row[3 * x] = static_cast<uint8_t>(x);
                row[3 * x + 1] = static_cast<uint8_t>(y);
                row[3 * x + 2] = 0x80;
            }
            out.write(reinterpret_cast<const char*>(row.data()), stride);
        }
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all((std::filesystem::temp_directory_path() /
                                         ("velkar-bench-" + std::to_string(getpid()))),
                                        ec);
        });
        return f;
    }();
    return folder;
}

void BM_LoadHugeBmp(benchmark::State& state)
{
    Ready();
    SetDeviceRoot(HugeBmpFolder());
    long addedKb = 0;
    for (auto _ : state) {
        const long before = ResidentKb();
        BitmapHandle b = LoadBitmapFile(u"\\huge.bmp");
        addedKb = ResidentKb() - before;
        if (b == nullptr) state.SkipWithError("the 8000 x 8000 BMP did not load");
        DeleteObject(b);
    }
    state.counters["resident_MB_added"] = static_cast<double>(addedKb) / 1024.0;
    state.counters["pixels_MB"] = 8000.0 * 8000.0 * 4.0 / (1024.0 * 1024.0);
}
BENCHMARK(BM_LoadHugeBmp)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
