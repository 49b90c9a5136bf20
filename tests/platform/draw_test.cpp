// Drawing, pixel by pixel: the AND block transfer and its clipping, and dashed lines
// to far points (still dashed, same phase). Text and icons: see the view's frames.
#include <gtest/gtest.h>

#include <climits>

#include "support.h"

namespace {

// A memory surface drawing into a copy of image.
struct Canvas {
    BitmapHandle bitmap;
    SurfaceHandle surface;
    ObjectHandle previous;
    explicit Canvas(const QImage& image)
        : bitmap((EnsureQtApplication(), CreateBitmapFromImage(image))), surface(CreateCompatibleSurface(nullptr)),
          previous(SelectObject(surface, bitmap)) {}
    ~Canvas() { SelectObject(surface, previous), DeleteSurface(surface), DeleteObject(bitmap); }
    QImage Pixels() const { return BitmapImage(bitmap); }
};

QImage Filled(int w, int h, QRgb fill) { QImage image(w, h, QImage::Format_RGB32); return image.fill(fill), image; }

TEST(BlockTransfer, AndCombinesOnlyWhereSourceAndDestinationOverlap)
{
    QImage source(8, 8, QImage::Format_RGB32);  // red x*16+15, green y*16+15, blue 0xF0
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) source.setPixel(x, y, qRgb(x * 16 + 15, y * 16 + 15, 0xF0));
    const struct { const char* name; int x, y, w, h, x0, y0; uint32_t fill; } rows[] = {  // onto 12 x 10
        {"inside, AND visible in every channel", 2, 1, 8, 8, 0, 0, 0x5AC3FF},
        {"white keeps the map's own pixels", 2, 1, 8, 8, 0, 0, 0xFFFFFF},
        {"hanging off the top-left", -3, -5, 8, 8, 0, 0, 0xFFFFFF},
        {"hanging off the bottom-right", 9, 6, 8, 8, 0, 0, 0x5AC3FF},
        {"wider than the source", 2, 2, 30, 30, 0, 0, 0xFFFFFF},
        {"source origin inside", 1, 1, 8, 8, 3, 2, 0xFFFFFF},
        {"source origin negative", 0, 0, 8, 8, -2, -1, 0xFFFFFF},
        {"near the int32 limits", INT_MAX - 4, INT_MIN + 2, INT_MAX, INT_MAX, INT_MIN, INT_MAX, 0xFFFFFF},
    };
    for (const auto& r : rows) {
        Canvas dst(Filled(12, 10, 0xFF000000 | r.fill)), src(source);
        ASSERT_EQ(BlockTransfer(dst.surface, r.x, r.y, r.w, r.h, src.surface, r.x0, r.y0, 0x8800C6), 1) << r.name;
        const QImage out = dst.Pixels();
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 12; ++x) {  // (x, y) reads source (x - r.x + r.x0, y - r.y + r.y0)
                const long long sx = x - (long long)r.x + r.x0, sy = y - (long long)r.y + r.y0;
                const bool in = x >= (long long)r.x && x < (long long)r.x + r.w && y >= (long long)r.y &&
                                y < (long long)r.y + r.h && sx >= 0 && sx < 8 && sy >= 0 && sy < 8;
                ASSERT_EQ(Rgb(out, x, y), in ? r.fill & Rgb(source, int(sx), int(sy)) : r.fill)
                    << r.name << " at " << x << "," << y;
            }
    }
    Canvas dst(Filled(4, 4, 0xFFFFFFFF)), src(source);
    EXPECT_EQ(BlockTransfer(dst.surface, 0, 0, 4, 4, nullptr, 0, 0, 0x8800C6), 0);
    EXPECT_EQ(BlockTransfer(dst.surface, 0, 0, 4, 4, src.surface, 0, 0, 0x123456), 0) << "unknown operation";
}

// A red dashed width-2 line on a white 100 x 100 surface.
QImage DashedLine(Point from, Point to)
{
    Canvas c(Filled(100, 100, 0xFFFFFFFF));
    ObjectHandle pen = CreatePenObject(kPenDash, 2, 0x0000FF), old = SelectObject(c.surface, pen);
    const Point line[] = {from, to};
    EXPECT_EQ(Polyline(c.surface, line, 2), 1);
    SelectObject(c.surface, old);
    EXPECT_EQ(DeleteObject(pen), 1);
    return c.Pixels();
}

TEST(Lines, DashedLinesToFarPointsStayDashedAndKeepTheirPhase)
{
    // A target kilometres off-screen: the visible part is still dashed, never solid or missing.
    const Point rows[][2] = {{{50, 10}, {50, 99}}, {{50, 10}, {50, 100000000}}, {{50, 10}, {50, INT_MAX}},
                             {{50, INT_MIN}, {50, INT_MAX}}};
    for (const auto& row : rows) {
        const QImage out = DashedLine(row[0], row[1]);
        int red = 0, white = 0;
        for (int y = 12; y < 98; ++y) (Rgb(out, 50, y) == 0xFF0000u || Rgb(out, 49, y) == 0xFF0000u ? red : white)++;
        EXPECT_GT(red, 20) << row[1].y;
        EXPECT_GT(white, 10) << row[1].y << ": dashes, not a solid line";
        EXPECT_EQ(Rgb(out, 60, 50), 0xFFFFFFu) << "a width-2 pen stays near its line";
    }
    // Started 120 and 1200 pixels above (whole patterns of 12): the same dashes where visible.
    const QImage near = DashedLine({50, -120}, {50, 99}), far = DashedLine({50, -1200}, {50, 99});
    for (int y = 5; y < 95; ++y) EXPECT_EQ(Rgb(near, 50, y), Rgb(far, 50, y)) << y;
}

}  // namespace
