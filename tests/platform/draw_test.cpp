// Drawing pixel by pixel: the AND block transfer and its clipping; dashed lines to far points (still dashed,
// same phase); the scaled transfer (a known map pixel lands where the scaled transform puts it, from a decoded
// bitmap and from a BMP read in place) and the colour filters; a map file that changes while shown; a whole
// scene through a real main window against the PNGs in tests/data/platform (VELKAR_WRITE_REFERENCE=1 rewrites).
#include <gtest/gtest.h>

#include <QPainter>

#include <atomic>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "platform/qt/qt_internal.h"
#include "support.h"

namespace {

// 64 x 48 of Gradient: linear, so a blend of neighbours is the gradient at the blended point.
constexpr int kMapW = 64, kMapH = 48;

TEST(BlockTransfer, OnlyWhereSourceAndDestinationOverlap)
{
    const QImage source = Gradient(8, 8, 0xF0);
    // The AND over a picture and clipping at the bottom-right are PaintScene's (its decoded map over the last
    // picture), off the top-left and at the int32 limits BitmapTest.HugeSparseBmp...'s. Here the source origin.
    const struct { const char* name; int x, y, w, h, x0, y0; } rows[] = {  // onto white 12 x 10
        {"wider than the source", 2, 2, 30, 30, 0, 0},
        {"source origin inside", 1, 1, 8, 8, 3, 2},
        {"source origin negative", 0, 0, 8, 8, -2, -1},
    };
    for (const auto& r : rows) {
        Canvas dst(Filled(12, 10, 0xFFFFFFFF)), src(source);
        ASSERT_EQ(BlockTransfer(dst.surface, r.x, r.y, r.w, r.h, src.surface, r.x0, r.y0, 0x8800C6), 1) << r.name;
        const QImage out = dst.Pixels();
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 12; ++x) {  // (x, y) reads source (x - r.x + r.x0, y - r.y + r.y0)
                const int sx = x - r.x + r.x0, sy = y - r.y + r.y0;
                const bool in = x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h && sx >= 0 && sx < 8 && sy >= 0 &&
                                sy < 8;
                ASSERT_EQ(Rgb(out, x, y), in ? Rgb(source, sx, sy) : 0xFFFFFFu) << r.name << " at " << x << "," << y;
            }
        EXPECT_EQ(BlockTransfer(dst.surface, 0, 0, 4, 4, nullptr, 0, 0, 0x8800C6), 0);
        EXPECT_EQ(BlockTransfer(dst.surface, 0, 0, 4, 4, src.surface, 0, 0, 0x123456), 0) << "unknown operation";
    }
}

TEST(Lines, DashedLinesToFarPointsStayDashedAndKeepTheirPhase)
{
    auto dashedLine = [](Point from, Point to) {  // red, width 2, on a white 100 x 100 surface
        Canvas c(Filled(100, 100, 0xFFFFFFFF));
        ObjectHandle pen = CreatePenObject(kPenDash, 2, 0x0000FF), old = SelectObject(c.surface, pen);
        const Point line[] = {from, to};
        EXPECT_EQ(Polyline(c.surface, line, 2), 1);
        SelectObject(c.surface, old);
        EXPECT_EQ(DeleteObject(pen), 1);
        return c.Pixels();
    };
    // A target kilometres off-screen: the visible part is still dashed, never solid or missing.
    const Point rows[][2] = {{{50, 10}, {50, 99}}, {{50, 10}, {50, INT_MAX}}, {{50, INT_MIN}, {50, INT_MAX}}};
    for (const auto& row : rows) {
        const QImage out = dashedLine(row[0], row[1]);
        int red = 0, white = 0;
        for (int y = 12; y < 98; ++y) (Rgb(out, 50, y) == 0xFF0000u || Rgb(out, 49, y) == 0xFF0000u ? red : white)++;
        EXPECT_GT(red, 20) << row[1].y;
        EXPECT_GT(white, 10) << row[1].y << ": dashes, not a solid line";
        EXPECT_EQ(Rgb(out, 60, 50), 0xFFFFFFu) << "a width-2 pen stays near its line";
    }
    // Started 120 and 1200 pixels above (whole patterns of 12): the same dashes where visible.
    EXPECT_EQ(dashedLine({50, -120}, {50, 99}), dashedLine({50, -1200}, {50, 99}));
}

// bitmap ANDed onto a white w x h surface, the source rectangle (x, y, width, height) from scaled onto the
// destination rectangle to, by a transfer that answers answer (-1: whatever it answers).
QImage Stretched(BitmapHandle bitmap, const int (&to)[4], const int (&from)[4], int answer = 1, int w = 40, int h = 30)
{
    Canvas dst(Filled(w, h, 0xFFFFFFFF)), src(bitmap);
    const int got = StretchTransfer(dst.surface, to[0], to[1], to[2], to[3], src.surface, from[0], from[1], from[2],
                                    from[3], kRopSourceAnd);
    EXPECT_TRUE(got == answer || answer == -1) << "answered " << got;
    return dst.Pixels();
}

TEST(StretchTransfer, AMapPixelLandsWhereTheScaledTransformPutsItAndAMovedRepaintIsTheFreshPicture)
{
    const TempRoot root;
    const QImage map = Gradient(kMapW, kMapH, 0x40);
    ASSERT_TRUE(map.save(QString::fromStdString(root.path + "/map24.bmp")));  // Qt writes 24 bits a pixel
    BitmapHandle sources[] = {CreateBitmapFromImage(map), LoadBitmapFile(u"\\map24.bmp")};
    ASSERT_NE(sources[1], nullptr);
    const struct { const char* name; int to[4], from[4]; } rows[] = {
        {"2:1, whole map", {-20, -10, 128, 96}, {0, 0, 64, 48}},
        {"1:1, exactly the block transfer's pixels", {-7, 3, 64, 48}, {2, 1, 64, 48}},
        {"1:2, source hanging off the top-left", {0, 0, 40, 30}, {-20, -10, 80, 60}},
        {"2:1, source hanging off the bottom-right", {0, 0, 40, 30}, {50, 40, 20, 15}},
        {"2:1 across, 1:2 down", {0, 0, 40, 24}, {10, 0, 20, 48}},
        {"3:7, an odd ratio", {0, 0, 27, 20}, {0, 0, 63, 47}},
    };
    // Source coordinate of destination pixel d along axis a: its centre mapped linearly from the
    // destination rectangle onto the source one (a reduction reads the pixel under it).
    auto sourceAt = [](const auto& r, int d, int a) {
        return r.from[a] + (d - r.to[a] + 0.5) * r.from[a + 2] / r.to[a + 2] - 0.5;
    };
    for (BitmapHandle source : sources)
        for (const auto& r : rows) {
            const QImage out = Stretched(source, r.to, r.from);
            const int x0 = r.to[0], y0 = r.to[1], w = r.to[2], h = r.to[3];
            for (int y = 0; y < out.height(); ++y)
                for (int x = 0; x < out.width(); ++x) {
                    const double u = sourceAt(r, x, 0), v = sourceAt(r, y, 1);
                    const long cu = std::lround(std::floor(u + 0.5)), cv = std::lround(std::floor(v + 0.5));
                    const bool in = x >= x0 && x < x0 + w && y >= y0 && y < y0 + h && cu >= 0 && cu < kMapW &&
                                    cv >= 0 && cv < kMapH;
                    const uint32_t got = Rgb(out, x, y);
                    ASSERT_TRUE(in || got == 0xFFFFFFu) << r.name << " untouched at " << x << "," << y;
                    if (!in) continue;
                    // A reduction (or 1:1) reads exactly the pixel under the centre; an enlargement the
                    // gradient at the centre (to within 1), held at the map's edge pixels.
                    const bool reduceX = r.from[2] >= w, reduceY = r.from[3] >= h;
                    const double eu = reduceX ? cu : std::clamp(u, 0.0, kMapW - 1.0);
                    const double ev = reduceY ? cv : std::clamp(v, 0.0, kMapH - 1.0);
                    ASSERT_NEAR(got >> 16, 4 * eu, reduceX ? 0 : 1) << r.name << " red at " << x << "," << y;
                    ASSERT_NEAR(got >> 8 & 0xFF, 5 * ev, reduceY ? 0 : 1) << r.name << " green at " << x << "," << y;
                    ASSERT_EQ(got & 0xFF, 0x40u) << r.name << " at " << x << "," << y;
                }
        }
    Stretched(sources[0], {INT_MIN, INT_MIN, INT_MAX, INT_MAX}, {INT_MIN, INT_MAX, 3, INT_MAX});  // int32 limits: done
    Stretched(sources[0], {0, 0, 10, 10}, {0, 0, -1, 10}, 0);  // a negative source width: refused
    // The map moved by whole pixels between repaints at one scale: what is kept from the last repaint
    // plus the edges sampled anew equals a repaint from nothing.
    for (auto [w, h] : {std::pair{32, 24}, {128, 96}, {27, 20}})  // 1:2, 2:1, 3:7
        for (auto [dx, dy] : {std::pair{0, 0}, {3, -2}, {-7, 5}, {0, 9}, {-40, 0}, {1, 1}}) {
            Stretched(sources[0], {-5, -4, w, h}, {0, 0, kMapW, kMapH});  // the repaint before
            const QImage moved = Stretched(sources[0], {-5 + dx, -4 + dy, w, h}, {0, 0, kMapW, kMapH});
            Stretched(sources[0], {0, 0, 5, 5}, {1, 1, 7, 7});  // another scale: nothing kept
            EXPECT_EQ(moved, Stretched(sources[0], {-5 + dx, -4 + dy, w, h}, {0, 0, kMapW, kMapH}))
                << w << " wide, moved by " << dx << "," << dy;
        }
    for (BitmapHandle source : sources) DeleteObject(source);
}

// The dim and night colours are ExtendTest's, painted over whole views (MapKeptDimmed...: a map colour dimmed,
// white at night, by hand); here the rectangle, cut to the surface, and a filter that is not one.
TEST(FilterSurface, TintsOnlyTheRectangle)
{
    Canvas c(Filled(6, 5, 0xFFFF0000));
    const Rect rect{2, -3, 100, 3};
    EXPECT_EQ(FilterSurface(c.surface, &rect, 7), 0) << "unknown filter";
    EXPECT_EQ(FilterSurface(c.surface, &rect, kFilterDim), 1);
    const QImage out = c.Pixels();
    for (int y = 0; y < 5; ++y)  // red dimmed: luma 76, (255 + 76) * 45 / 128 and 76 * 45 / 128
        for (int x = 0; x < 6; ++x) ASSERT_EQ(Rgb(out, x, y), x >= 2 && y < 3 ? 0x741A1Au : 0xFF0000u) << x << "," << y;
}

// Writes a 24-bit bottom-up BMP of Gradient (Qt's writer: 54 header bytes), then more bytes after it.
void SaveMap(const std::string& path, int blue, const std::string& more = "")
{
    Gradient(kMapW, kMapH, blue).save(QString::fromStdString(path), "BMP");
    std::ofstream(path, std::ios::binary | std::ios::app) << more;
}

QImage Painted(BitmapHandle map, int reduction, int w = kMapW, int h = kMapH)  // a refused file answers 0
{
    return Stretched(map, {0, 0, w, h}, {0, 0, w * reduction, h * reduction}, -1, w, h);
}

TEST(ChangingMap, BetweenPaintsWhatCanBeReadOrTheNewFile)
{
    const TempRoot root;
    const std::string path = root.path + "/map.bmp";
    const int64_t stride = kMapW * 3, pixels = 54;
    auto replace = [&](auto write) { write(path + ".new"), std::filesystem::rename(path + ".new", path); };
    enum Seen { kFirst, kLowerHalfOnly, kSecond, kWhite };
    const struct { const char* name; std::function<void()> change; Seen seen; const char* said; } rows[] = {
        {"cut to half its rows (the lower half, stored first)",
         [&] { std::filesystem::resize_file(path, pixels + kMapH / 2 * stride); }, kLowerHalfOnly, "cut short"},
        {"cut to its header", [&] { std::filesystem::resize_file(path, pixels); }, kWhite, "cut short"},
        {"removed", [&] { std::filesystem::remove(path); }, kFirst, "gone"},
        {"replaced by another map", [&] { replace([](auto p) { SaveMap(p, 0xC0); }); }, kSecond, "loaded anew"},
        {"rewritten in place, longer", [&] { SaveMap(path, 0xC0, "trailing bytes"); }, kSecond, "loaded anew"},
        {"replaced by a text file", [&] { replace([](auto p) { std::ofstream(p) << "not a map\n"; }); }, kWhite, "refused"},
    };
    for (const auto& r : rows) {
        SaveMap(path, 0x40);
        BitmapHandle map = LoadBitmapFile(u"\\map.bmp");
        ASSERT_NE(map, nullptr) << r.name;
        EXPECT_EQ(Rgb(Painted(map, 1), 3, 7), (12u << 16 | 35u << 8 | 0x40)) << r.name;
        r.change();
        QImage after, scaled;
        const std::string said = Said([&] { after = Painted(map, 1), scaled = Painted(map, 2, kMapW / 2, kMapH / 2); });
        EXPECT_NE(said.find(r.said), std::string::npos) << r.name << ": " << said;
        QImage seen = Gradient(kMapW, kMapH, r.seen == kSecond ? 0xC0 : 0x40);
        QPainter(&seen).fillRect(0, 0, kMapW, r.seen == kWhite ? kMapH : r.seen == kLowerHalfOnly ? kMapH / 2 : 0, Qt::white);
        EXPECT_EQ(after, seen) << r.name;
        for (int y = 1; y < kMapH; y += 2)  // 1:2 reads the pixel under each centre
            for (int x = 1; x < kMapW; x += 2)
                ASSERT_EQ(Rgb(scaled, x / 2, y / 2), Rgb(seen, x, y)) << r.name << " 1:2 at " << x << "," << y;
        DeleteObject(map);
    }
}

// 1024 x 1024, 3 MiB: a paint reads hundreds of pages while the other thread cuts the file to a page and
// writes it back, again and again. Bounded: until a cut has landed during a paint three times, or ten seconds.
TEST(ChangingMap, CutShortByAnotherThreadDuringPaintsNeverCrashes)
{
    const TempRoot root;
    const std::string path = root.path + "/big.bmp";
    ASSERT_TRUE(Filled(1024, 1024, qRgb(0x20, 0x90, 0x50)).save(QString::fromStdString(path), "BMP"));
    const std::string whole = Slurp(path);
    BitmapHandle map = LoadBitmapFile(u"\\big.bmp");
    ASSERT_NE(map, nullptr);
    std::atomic<bool> stop{false};
    std::thread cutter([&] {
        while (!stop) {
            truncate(path.c_str(), 4096);
            const int fd = open(path.c_str(), O_WRONLY);  // a failed open writes nothing and closes nothing
            (void)!pwrite(fd, whole.data(), whole.size(), 0), close(fd);
        }
    });
    int cuts = 0, paints = 0;
    QElapsedTimer clock;
    for (clock.start(); clock.elapsed() < 10000 && cuts < 3;) {
        const std::string said = Said([&] { for (int i = 0; i < 40; ++i, ++paints) Painted(map, 1 + paints % 2, 700, 700); });
        for (size_t at = 0; (at = said.find("during a paint", at)) != std::string::npos; ++at) ++cuts;
    }
    stop = true, cutter.join();
    EXPECT_GT(cuts, 0) << "in " << paints << " paints, the file was never cut during one";
    EXPECT_EQ(Painted(map, 1, 700, 700), Filled(700, 700, qRgb(0x20, 0x90, 0x50))) << "the file whole again: the map";
    DeleteObject(map);
}

BitmapHandle sceneMap = nullptr;
PlatformIcon sceneIcon;
int sceneSpeed = 0;  // changes the speed text from paint to paint

intptr_t SceneProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message != kMsgPaint) return DefaultWindowProc(window, message, wParam, lParam);
    PaintInfo info{};
    SurfaceHandle dc = BeginPaint(window, &info);
    Rect client{};
    GetClientRect(window, &client);
    const int32_t w = client.right, h = client.bottom;
    SurfaceHandle memory = CreateCompatibleSurface(dc);
    ObjectHandle oldBitmap = SelectObject(memory, sceneMap);
    int32_t mw = 0, mh = 0;
    GetBitmapSize(sceneMap, &mw, &mh);
    BlockTransfer(dc, w / 2 - mw / 2 + 37, h / 2 - mh / 2 - 21, mw, mh, memory, 0, 0, kRopSourceAnd);
    SelectObject(memory, oldBitmap), DeleteSurface(memory);

    SetTextColor(dc, 0xFF0000);
    FontAttributes f{};
    f.height = 22, f.weight = kFontWeightBold;
    ObjectHandle font = CreateFontObject(&f), oldFont = SelectObject(dc, font);
    ObjectHandle pen = CreatePenObject(kPenDash, 2, 0xFF0000), oldPen = SelectObject(dc, pen);
    const Point line[] = {{w / 2 - 30, h / 2 + 17}, {w / 2, h / 2}, {w / 2 + 61, h / 2 - 80}};
    Polyline(dc, line, 3);
    Ellipse(dc, line[2].x + 2, line[2].y + 2, line[2].x - 2, line[2].y - 2);
    Rect text{1, 10, w, h};
    DrawTextInRect(dc, u"!2", -1, &text, kDtInternal);
    text.top = h - 23;
    DrawTextInRect(dc, sceneSpeed % 2 != 0 ? u"Fix  13.4Km/h" : u"Fix  12.4Km/h", -1, &text, kDtInternal);
    Ellipse(dc, w / 2 + 6, h / 2 + 6, w / 2 - 6, h / 2 - 6);
    DrawIconAt(dc, w - 60, h - 38, &sceneIcon, 0, 0, 0, nullptr, kDiNormal);
    SelectObject(dc, oldPen), DeleteObject(pen), SelectObject(dc, oldFont), DeleteObject(font);
    return EndPaint(window, &info), 0;
}

// At three client sizes, each picture against the PNG kept for it (the paint path as first landed):
// erased with one text, then another, then the first again; then unerased, drawing over the last
// picture as the view's repaints without erase do. The scene's map is smaller than the large clients:
// white shows round it.
TEST(PaintScene, WholePicturesStayPixelForPixelAlsoPaintedStraightIntoTheWindow)
{
    EnsureQtApplication();
    QImage map(700, 420, QImage::Format_RGB32);
    for (int y = 0; y < map.height(); ++y)
        for (int x = 0; x < map.width(); ++x) map.setPixel(x, y, qRgb(x / 3 & 0xFF, 0xE0 - (y / 4 & 0x3F), (x + y) / 5 & 0xFF));
    sceneMap = CreateBitmapFromImage(map);
    sceneIcon.image = QImage(40, 30, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) sceneIcon.image.setPixel(x, y, qPremultiply(qRgba(200, 40, 40, (x * 6 + y * 2) & 0xFF)));
    static const WindowClass wc{3, SceneProc, &testResources, 0, u"Scene"};
    RegisterWindowClass(&wc);
    const bool write = std::getenv("VELKAR_WRITE_REFERENCE") != nullptr;
    auto path = [](const std::string& name) {
        return QString::fromStdString(std::string(VELKAR_SOURCE_DIR) + "/tests/data/platform/" + name + ".png");
    };
    auto kept = [&](const std::string& name) { return QImage(path(name)).convertToFormat(QImage::Format_RGB32); };
    for (auto [name, w, h] :
         {std::tuple{"scene-240x268", 240, 268}, {"scene-640x360", 640, 360}, {"scene-960x540", 960, 540}}) {
        WindowHandle window = CreateMainWindow(u"Scene", u"Scene", kStyleVisible, kUseDefault, kUseDefault, w, h);
        ASSERT_NE(window, nullptr);
        for (auto [erase, speed, suffix] :
             {std::tuple<int, int, const char*>{1, 0, ""}, {1, 1, nullptr}, {1, 0, ""}, {0, 0, "-over"}}) {
            sceneSpeed = speed;
            InvalidateWindow(window, erase);
            UpdateWindowNow(window);
            if (suffix == nullptr) continue;  // the other text: no picture kept
            const std::string png = name + std::string(suffix);
            if (write) { ASSERT_TRUE(ClientImage(window).save(path(png))); }
            EXPECT_EQ(ClientImage(window), kept(png)) << png << ": pixels unlike the kept picture";
        }
        DestroyMainWindow(window);
    }
    // Painted by the event loop, the cycle draws into Qt's own pixels for the window; what the back buffer
    // reads afterwards and what a grab shows are the kept picture, also after Qt painted the window again
    // for a resize (its store may be new then).
    sceneSpeed = 0;
    WindowHandle window = CreateMainWindow(u"Scene", u"Scene", kStyleVisible, kUseDefault, kUseDefault, 240, 268);
    ASSERT_NE(window, nullptr);
    QWidget* frame = WidgetOfHandle(window);
    auto* client = frame->findChild<QWidget*>(QStringLiteral("velkar-client"));
    const QImage reference = kept("scene-240x268");
    for (int round = 0; round < 2; ++round) {
        InvalidateWindow(window, 1);
        ASSERT_TRUE(PumpUntil([&] { return !window->invalid; })) << "round " << round;
        EXPECT_TRUE(window->pictureInStore) << "round " << round << ": painted through the back buffer";
        EXPECT_EQ(ClientImage(window), reference) << "round " << round;
        EXPECT_EQ(client->grab().toImage().convertToFormat(QImage::Format_RGB32), reference) << "round " << round;
        for (int step : {1, -1}) {  // Qt makes its store anew and paints the window at each
            frame->resize(frame->size() + QSize(0, step));
            ASSERT_TRUE(PumpUntil([&] { return client->height() == 268 + (step > 0); }));
        }
        PumpUntil([] { return false; }, 50);
        EXPECT_EQ(ClientImage(window), reference) << "round " << round << ": after the resizes";
    }
    DestroyMainWindow(window);
    DeleteObject(sceneMap);
}

}  // namespace
