// Scaled transfer and colour filters, pixel by pixel: a known map pixel lands where
// the scaled transform puts it (2:1, 1:2 and others), from a decoded bitmap and from
// BMP files read in place; equal sizes give BlockTransfer's pixels; the filters' values.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <filesystem>

#include "platform/files.h"
#include "support.h"

namespace {

// 64 x 48, red 4 x, green 5 y, blue 0x40: linear, so a blend of neighbours is the
// gradient at the blended point and every pixel names its own column and row.
constexpr int kMapW = 64, kMapH = 48;
QImage Gradient()
{
    QImage image(kMapW, kMapH, QImage::Format_RGB32);
    for (int y = 0; y < kMapH; ++y)
        for (int x = 0; x < kMapW; ++x) image.setPixel(x, y, qRgb(4 * x, 5 * y, 0x40));
    return image;
}

QImage Stretched(BitmapHandle bitmap, int x, int y, int w, int h, int x0, int y0, int sw, int sh, int* result)
{
    return StretchedOnWhite(bitmap, QSize(40, 30), {x, y, w, h}, {x0, y0, sw, sh}, result);
}

// Source coordinate of destination pixel d: its centre mapped linearly from the
// destination rectangle onto the source one (a reduction reads the pixel under it).
double SourceAt(int d, int origin, int extent, int sourceOrigin, int sourceExtent)
{
    return sourceOrigin + (d - origin + 0.5) * sourceExtent / extent - 0.5;
}

TEST(StretchTransfer, AMapPixelLandsWhereTheScaledTransformPutsIt)
{
    const std::string folder = MakeTempFolder();
    SetDeviceRoot(folder);
    const QImage map = Gradient();
    ASSERT_TRUE(map.save(QString::fromStdString(folder + "/map24.bmp")));  // Qt writes 24 bits a pixel
    BitmapHandle sources[] = {CreateBitmapFromImage(map), LoadBitmapFile(u"\\map24.bmp")};
    ASSERT_NE(sources[1], nullptr);
    const struct { const char* name; int x, y, w, h, x0, y0, sw, sh; } rows[] = {  // expected: SourceAt
        {"2:1, whole map", -20, -10, 128, 96, 0, 0, 64, 48},
        {"1:2, whole map", 5, 3, 32, 24, 0, 0, 64, 48},
        {"1:8, whole map", 1, 2, 8, 6, 0, 0, 64, 48},
        {"4:1, a corner of the map", 0, 0, 40, 40, 50, 38, 10, 10},
        {"1:2, source hanging off the top-left", 0, 0, 40, 30, -20, -10, 80, 60},
        {"2:1, source hanging off the bottom-right", 0, 0, 40, 30, 50, 40, 20, 15},
        {"2:1 across, 1:2 down", 0, 0, 40, 24, 10, 0, 20, 48},
        {"3:7, an odd ratio", 0, 0, 27, 20, 0, 0, 63, 47},
    };
    for (BitmapHandle source : sources)
        for (const auto& r : rows) {
            int result = 0;
            const QImage out = Stretched(source, r.x, r.y, r.w, r.h, r.x0, r.y0, r.sw, r.sh, &result);
            ASSERT_EQ(result, 1) << r.name;
            for (int y = 0; y < out.height(); ++y)
                for (int x = 0; x < out.width(); ++x) {
                    const double u = SourceAt(x, r.x, r.w, r.x0, r.sw), v = SourceAt(y, r.y, r.h, r.y0, r.sh);
                    const long cu = std::lround(std::floor(u + 0.5)), cv = std::lround(std::floor(v + 0.5));
                    const bool in = x >= r.x && x < r.x + r.w && y >= r.y && y < r.y + r.h && cu >= 0 &&
                                    cu < kMapW && cv >= 0 && cv < kMapH;
                    const uint32_t got = Rgb(out, x, y);
                    if (!in) {
                        ASSERT_EQ(got, 0xFFFFFFu) << r.name << " untouched at " << x << "," << y;
                        continue;
                    }
                    // A reduction reads the pixel under the centre; an enlargement the
                    // gradient at the centre, held at the map's edge pixels.
                    const double eu = r.sw >= r.w ? cu : std::clamp(u, 0.0, kMapW - 1.0);
                    const double ev = r.sh >= r.h ? cv : std::clamp(v, 0.0, kMapH - 1.0);
                    ASSERT_NEAR(double(got >> 16), 4 * eu, 1.0) << r.name << " red at " << x << "," << y;
                    ASSERT_NEAR(double(got >> 8 & 0xFF), 5 * ev, 1.0) << r.name << " green at " << x << "," << y;
                    ASSERT_EQ(got & 0xFF, 0x40u) << r.name << " at " << x << "," << y;
                }
        }
    // Equal sizes: exactly the block transfer's pixels; extreme rectangles: an answer.
    int result = 0;
    const QImage same = Stretched(sources[1], -7, 3, 64, 48, 2, 1, 64, 48, &result);
    QImage white(40, 30, QImage::Format_RGB32);
    white.fill(Qt::white);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const int sx = x + 7 + 2, sy = y - 3 + 1;
            const bool in = y >= 3 && sx < 64 && sy < 48;  // the rectangle starts at row 3
            ASSERT_EQ(Rgb(same, x, y), in ? Rgb(map, sx, sy) : 0xFFFFFFu) << x << "," << y;
        }
    Stretched(sources[0], INT_MIN, INT_MIN, INT_MAX, INT_MAX, INT_MIN, INT_MAX, 3, INT_MAX, &result);
    EXPECT_EQ(result, 1) << "int32 limits";
    Stretched(sources[0], 0, 0, 10, 10, 0, 0, -1, 10, &result);
    EXPECT_EQ(result, 0) << "negative source width";
    for (BitmapHandle source : sources) DeleteObject(source);
    std::filesystem::remove_all(folder);
}

TEST(StretchTransfer, AMovedRepaintGivesTheFreshPicture)
{
    // The map moved by whole pixels between repaints at one scale: what is kept from
    // the last repaint plus the edges sampled anew equals a repaint from nothing.
    EnsureQtApplication();
    BitmapHandle map = CreateBitmapFromImage(Gradient());
    const struct { const char* name; int w, h; } scales[] = {{"1:2", 32, 24}, {"2:1", 128, 96}, {"3:7", 27, 20}};
    const struct { int dx, dy; } moves[] = {{0, 0}, {3, -2}, {-7, 5}, {0, 9}, {-40, 0}, {1, 1}};
    for (const auto& s : scales)
        for (const auto& m : moves) {
            int result = 0;
            Stretched(map, -5, -4, s.w, s.h, 0, 0, kMapW, kMapH, &result);  // the repaint before
            const QImage moved = Stretched(map, -5 + m.dx, -4 + m.dy, s.w, s.h, 0, 0, kMapW, kMapH, &result);
            Stretched(map, 0, 0, 5, 5, 1, 1, 7, 7, &result);  // another scale: nothing kept
            const QImage fresh = Stretched(map, -5 + m.dx, -4 + m.dy, s.w, s.h, 0, 0, kMapW, kMapH, &result);
            EXPECT_EQ(moved, fresh) << s.name << " moved by " << m.dx << "," << m.dy;
        }
    DeleteObject(map);
}

TEST(FilterSurface, DimAndNightKeepBlackAndTintOnlyTheRectangle)
{
    // Expected values by hand: luma (77 r + 150 g + 29 b) / 256; dim ((c + luma) * 45 / 128),
    // night (luma * 160, 24, 16) / 256.
    const struct { const char* name; uint32_t filter, in, out; } rows[] = {
        {"dim white", kFilterDim, 0xFFFFFF, 0xB3B3B3}, {"dim black", kFilterDim, 0x000000, 0x000000},
        {"dim red", kFilterDim, 0xFF0000, 0x741A1A}, {"night white", kFilterNight, 0xFFFFFF, 0x9F170F},
        {"night blue", kFilterNight, 0x0000FF, 0x110201}, {"night black", kFilterNight, 0x000000, 0x000000},
    };
    for (const auto& r : rows) {
        QImage image(6, 5, QImage::Format_RGB32);
        image.fill(0xFF000000u | r.in);
        BitmapHandle bitmap = CreateBitmapFromImage(image);
        SurfaceHandle s = CreateCompatibleSurface(nullptr);
        ObjectHandle old = SelectObject(s, bitmap);
        const Rect rect{2, -3, 100, 3};
        EXPECT_EQ(FilterSurface(s, &rect, r.filter), 1) << r.name;
        EXPECT_EQ(FilterSurface(s, &rect, 7), 0) << "unknown filter";
        SelectObject(s, old), DeleteSurface(s);
        const QImage out = BitmapImage(bitmap);
        DeleteObject(bitmap);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x)
                ASSERT_EQ(Rgb(out, x, y), x >= 2 && y < 3 ? r.out : r.in) << r.name << " at " << x << "," << y;
    }
}

}  // namespace
