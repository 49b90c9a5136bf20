// Drawing layer costs: the AND block transfer of decoded maps (741 x 498 and
// 8000 x 8000) onto 240 x 268 and 1280 x 800 clients, the other paint operations,
// and, through the real loader, open and first paint of the demo map and of
// 12000 x 12000 and 40000 x 40000 BMPs (time, resident memory added) and their
// repaints at 240 x 268 and 1920 x 1080. Only the visible part may cost. Zoomed
// repaints of the 40000 x 40000 map at 1920 x 1080 (1:1, 1:4, 1:8) beside Qt's own
// drawImage of a same-size image in the same run, with the memory they add.
#include <benchmark/benchmark.h>

#include <QImage>
#include <QPainter>

#include <algorithm>
#include <cstring>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <time.h>
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

// A side x side 24-bit bottom-up BMP in a scratch folder, sparse: only the rows
// and columns a 1920 x 1080 view centred on the map shows are written (a
// gradient), the rest reads as black without taking disk space. Written once a run.
std::string SparseMap(int side)
{
    static const std::string folder = [] {
        const std::string f =
            (std::filesystem::temp_directory_path() / ("velkar-bench-" + std::to_string(getpid()))).string();
        std::filesystem::create_directories(f);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(
                std::filesystem::temp_directory_path() / ("velkar-bench-" + std::to_string(getpid())), ec);
        });
        return f;
    }();
    const std::string name = "map" + std::to_string(side) + ".bmp";
    if (std::filesystem::exists(folder + "/" + name)) return name;
    const int64_t stride = (int64_t{side} * 3 + 3) / 4 * 4;
    std::vector<uint8_t> head(54, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (size_t i = 0; i < 4; ++i) head[at + i] = (v >> (8 * i)) & 0xFF;
    };
    head[0] = 'B', head[1] = 'M', put32(10, 54), put32(14, 40), put32(18, side), put32(22, side);
    head[26] = 1, head[28] = 24;
    const int fd = open((folder + "/" + name).c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    if (pwrite(fd, head.data(), 54, 0) != 54) std::abort();
    const int x0 = std::max(0, side / 2 - 960), x1 = std::min(side, side / 2 + 960);
    std::vector<uint8_t> row(static_cast<size_t>(x1 - x0) * 3);
    for (int y = std::max(0, side / 2 - 540); y < std::min(side, side / 2 + 540); ++y) {
        for (int x = x0; x < x1; ++x) {
            uint8_t* p = &row[static_cast<size_t>(x - x0) * 3];
            p[0] = static_cast<uint8_t>(x), p[1] = static_cast<uint8_t>(y), p[2] = 0x80;
        }
        if (pwrite(fd, row.data(), row.size(), 54 + (side - 1 - y) * stride + int64_t{x0} * 3) < 0) std::abort();
    }
    if (ftruncate(fd, 54 + stride * side) != 0) std::abort();
    fsync(fd);
    close(fd);
    return name;
}

// The sparse map of that side loaded as the navigator loads it, from a scratch root.
BitmapHandle LoadSparseMap(int side)
{
    const std::string name = SparseMap(side);
    SetDeviceRoot((std::filesystem::temp_directory_path() / ("velkar-bench-" + std::to_string(getpid()))).string());
    const std::u16string path = u"\\" + std::u16string(name.begin(), name.end());
    return LoadBitmapFile(path.c_str());
}

// A white client-sized memory surface to paint on, as the erased client area is.
struct Client {
    BitmapHandle pixels;
    SurfaceHandle surface;
    ObjectHandle previous;
    Client(int w, int h)
    {
        QImage white(w, h, QImage::Format_RGB32);
        white.fill(Qt::white);
        pixels = CreateBitmapFromImage(white);
        surface = CreateCompatibleSurface(nullptr);
        previous = SelectObject(surface, pixels);
    }
    ~Client() { SelectObject(surface, previous), DeleteSurface(surface), DeleteObject(pixels); }
};

// The view's transfer: the whole map named, its middle on the client's centre.
void PaintCentred(const Client& client, int clientW, int clientH, BitmapHandle map)
{
    int32_t w = 0, h = 0;
    GetBitmapSize(map, &w, &h);
    SurfaceHandle source = CreateCompatibleSurface(nullptr);
    ObjectHandle old = SelectObject(source, map);
    BlockTransfer(client.surface, clientW / 2 - w / 2, clientH / 2 - h / 2, w, h, source, 0, 0, kRopSourceAnd);
    SelectObject(source, old);
    DeleteSurface(source);
}

// Open and first paint of the demo map (side 0: demo/temp.bmp, 741 x 498) or a
// sparse side x side map, onto a client of the given size, with the file's pages
// in the page cache (warm, as after copying or importing it) or evicted first
// (cold, as after a reboot). Counts the resident memory the open and paint add.
void BM_OpenAndFirstPaint(benchmark::State& state)
{
    Ready();
    const int side = static_cast<int>(state.range(0));
    const int clientW = static_cast<int>(state.range(1)), clientH = static_cast<int>(state.range(2));
    const bool cold = state.range(3) != 0;
    std::string name = "temp.bmp";
    if (side == 0)
        SetDeviceRoot(VELKAR_SOURCE_DIR "/demo");
    else
        name = SparseMap(side), SetDeviceRoot((std::filesystem::temp_directory_path() /
                                                ("velkar-bench-" + std::to_string(getpid()))).string());
    const std::u16string path = u"\\" + std::u16string(name.begin(), name.end());
    const std::string host = DeviceRoot() + "/" + name;
    Client client(clientW, clientH);
    long addedKb = 0;
    bool loaded = true;
    for (auto _ : state) {
        state.PauseTiming();
        const int fd = open(host.c_str(), O_RDONLY);
        if (cold) posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);  // the file's pages leave the cache
        close(fd);
        const long before = ResidentKb();
        state.ResumeTiming();
        BitmapHandle map = LoadBitmapFile(path.c_str());
        if (map != nullptr) PaintCentred(client, clientW, clientH, map);
        state.PauseTiming();
        addedKb = std::max(addedKb, ResidentKb() - before);
        loaded = map != nullptr;
        DeleteObject(map);
        state.ResumeTiming();
    }
    state.counters["resident_MiB_added"] = static_cast<double>(addedKb) / 1024.0;
    state.counters["loaded"] = loaded ? 1 : 0;
    state.SetLabel((side == 0 ? std::string("demo 741x498") : std::to_string(side) + "x" + std::to_string(side)) +
                   " onto " + std::to_string(clientW) + "x" + std::to_string(clientH) + (cold ? ", cold" : ", warm") +
                   (loaded ? "" : ", NOT LOADED"));
}
BENCHMARK(BM_OpenAndFirstPaint)
    ->ArgsProduct({{0, 12000, 40000}, {240}, {268}, {0, 1}})
    ->ArgsProduct({{0, 12000, 40000}, {1920}, {1080}, {0, 1}})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);

// Repaints of an opened map (its pages cached), centred on the client.
void BM_PaintOpenedMap(benchmark::State& state)
{
    Ready();
    const int side = static_cast<int>(state.range(0));
    const int clientW = static_cast<int>(state.range(1)), clientH = static_cast<int>(state.range(2));
    BitmapHandle map = LoadSparseMap(side);
    if (map == nullptr) {
        state.SkipWithError("the map did not load");
        return;
    }
    Client client(clientW, clientH);
    for (auto _ : state) {
        PaintCentred(client, clientW, clientH, map);
        benchmark::ClobberMemory();
    }
    state.SetLabel(std::to_string(side) + "x" + std::to_string(side) + " onto " + std::to_string(clientW) + "x" +
                   std::to_string(clientH));
    DeleteObject(map);
}
BENCHMARK(BM_PaintOpenedMap)
    ->Args({12000, 240, 268})
    ->Args({12000, 1920, 1080})
    ->Args({40000, 240, 268})
    ->Args({40000, 1920, 1080})
    ->Unit(benchmark::kMicrosecond);

long StatusKb(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::strtol(line.c_str() + std::strlen(field), nullptr, 10);
    return 0;
}

// This thread's processor time in microseconds: on a shared machine, wall time
// counts the other programs too; both sides of a ratio are measured this way.
double ThreadMicroseconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
}

// Qt's drawImage of a w x h image onto another, microseconds a call.
double DrawImageMicroseconds(int w, int h, int64_t rounds)
{
    QImage from(w, h, QImage::Format_RGB32), to(w, h, QImage::Format_RGB32);
    from.fill(Qt::gray), to.fill(Qt::white);
    QPainter(&to).drawImage(0, 0, from);
    const double start = ThreadMicroseconds();
    for (int64_t i = 0; i < rounds; ++i) QPainter(&to).drawImage(0, 0, from);
    return (ThreadMicroseconds() - start) / double(rounds);
}

// Repaints of the opened 40000 x 40000 map at 1920 x 1080 at one zoom (map pixels
// per client pixel: 1, 4 or 8), the position on the map's centre, still or moving a
// few pixels every repaint as it follows the fixes: the erase and
// the scaled AND transfer, as the view draws a zoomed map. Counters: Qt's drawImage
// of the same size, the ratio, and the memory the repaints added (heap; the file's
// pages the kernel keeps mapped, which it may drop at will).
void BM_ZoomedRepaint(benchmark::State& state)
{
    Ready();
    const int side = 40000, clientW = 1920, clientH = 1080, reduction = static_cast<int>(state.range(0));
    const int step = static_cast<int>(state.range(1));  // client pixels the map moves between repaints
    BitmapHandle map = LoadSparseMap(side);
    if (map == nullptr) {
        state.SkipWithError("the map did not load");
        return;
    }
    Client client(clientW, clientH);
    SurfaceHandle source = CreateCompatibleSurface(nullptr);
    ObjectHandle old = SelectObject(source, map);
    const int w = side / reduction, left = clientW / 2 - w / 2, top = clientH / 2 - w / 2;
    const long anonBefore = StatusKb("RssAnon:"), fileBefore = StatusKb("RssFile:");
    const double start = ThreadMicroseconds();
    int64_t round = 0;
    for (auto _ : state) {
        const int moved = (round++ % 2) * step;  // back and forth: every repaint moves
        BlockTransfer(client.surface, 0, 0, clientW, clientH, nullptr, 0, 0, 0xFF0062);  // the erase
        StretchTransfer(client.surface, left + moved, top + moved, w, w, source, 0, 0, side, side, kRopSourceAnd);
        benchmark::ClobberMemory();
    }
    const double repaint = (ThreadMicroseconds() - start) / double(state.iterations());
    state.counters["repaint_us"] = repaint;
    state.counters["anon_MiB_added"] = double(StatusKb("RssAnon:") - anonBefore) / 1024.0;
    state.counters["file_MiB_mapped"] = double(StatusKb("RssFile:") - fileBefore) / 1024.0;
    const double drawImage = DrawImageMicroseconds(clientW, clientH, 50);
    state.counters["drawImage_us"] = drawImage;
    state.counters["x_drawImage"] = repaint / drawImage;
    state.SetLabel("40000x40000 at 1:" + std::to_string(reduction) + " onto 1920x1080, moving " +
                   std::to_string(step) + " px a repaint");
    SelectObject(source, old);
    DeleteSurface(source);
    DeleteObject(map);
}
BENCHMARK(BM_ZoomedRepaint)->ArgsProduct({{1, 4, 8}, {0, 3}})->Unit(benchmark::kMicrosecond);

}  // namespace
