// Drawing, pixel by pixel: the AND block transfer and its clipping, text on its
// white band and clipped to its rectangle, ellipses and pens, polylines, icons
// through their mask, and the select/delete rules of graphic objects.
#include <gtest/gtest.h>

#include <QFontMetrics>

#include <climits>

#include "platform/qt/qt_handles.h"
#include "support.h"

namespace {

constexpr uint32_t kAnd = 0x8800C6;
constexpr QRgb kGrey = 0xFF808080;

// A memory surface drawing into a fresh bitmap of the given size and fill.
struct Canvas {
    BitmapHandle bitmap = nullptr;
    SurfaceHandle surface = nullptr;
    ObjectHandle previous = nullptr;
    Canvas(int w, int h, QRgb fill)
    {
        EnsureQtApplication();
        QImage image(w, h, QImage::Format_RGB32);
        image.fill(fill);
        bitmap = CreateBitmapFromImage(image);
        surface = CreateCompatibleSurface(nullptr);
        previous = SelectObject(surface, bitmap);
    }
    explicit Canvas(const QImage& image)
    {
        EnsureQtApplication();
        bitmap = CreateBitmapFromImage(image);
        surface = CreateCompatibleSurface(nullptr);
        previous = SelectObject(surface, bitmap);
    }
    ~Canvas()
    {
        SelectObject(surface, previous);
        DeleteSurface(surface);
        DeleteObject(bitmap);
    }
    QImage Pixels() const { return BitmapImage(bitmap); }
};

// Source pattern: pixel (x, y) = colour with red x*16, green y*16, blue 0xF0.
QImage Pattern(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) image.setPixel(x, y, qRgb(x * 16 & 0xFF, y * 16 & 0xFF, 0xF0));
    return image;
}

TEST(BlockTransfer, AndCombinesSourceWithDestination)
{
    // Destination 0x5A / 0xC3 / 0xFF per channel so AND is visible in every bit pattern.
    Canvas dst(16, 16, qRgb(0x5A, 0xC3, 0xFF));
    Canvas src(Pattern(8, 8));
    ASSERT_EQ(BlockTransfer(dst.surface, 4, 4, 8, 8, src.surface, 0, 0, kAnd), 1);
    const QImage out = dst.Pixels();
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) {
            const bool inside = x >= 4 && x < 12 && y >= 4 && y < 12;
            const uint32_t expected = inside ? (0x5AC3FFu & (Rgb(Pattern(8, 8), x - 4, y - 4))) : 0x5AC3FFu;
            ASSERT_EQ(Rgb(out, x, y), expected) << x << "," << y;
        }
}

TEST(BlockTransfer, WhiteDestinationKeepsTheSourcePixels)
{
    // The map view erases to white first, so AND shows the map unchanged.
    Canvas dst(10, 10, 0xFFFFFFFF);
    Canvas src(Pattern(10, 10));
    BlockTransfer(dst.surface, 0, 0, 10, 10, src.surface, 0, 0, kAnd);
    EXPECT_EQ(dst.Pixels(), Pattern(10, 10));
}

TEST(BlockTransfer, OnlyThePartInsideTheDestinationIsTouched)
{
    struct Row {
        const char* name;  // placement of an 8 x 8 source on a 12 x 10 destination
        int x, y, w, h, x0, y0;
    } rows[] = {
        {"hanging off the top-left", -3, -5, 8, 8, 0, 0},
        {"hanging off the bottom-right", 9, 6, 8, 8, 0, 0},
        {"larger than the destination", -2, -2, 8, 8, 0, 0},
        {"width beyond the source", 2, 2, 30, 30, 0, 0},
        {"source origin inside", 1, 1, 8, 8, 3, 2},
        {"source origin negative", 0, 0, 8, 8, -2, -1},
        {"far away", 100000, 100000, 8, 8, 0, 0},
        {"near the int32 limits", INT_MAX - 4, INT_MIN + 2, INT_MAX, INT_MAX, INT_MIN, INT_MAX},
    };
    const QImage source = Pattern(8, 8);
    for (const Row& r : rows) {
        Canvas dst(12, 10, 0xFFFFFFFF);
        Canvas src(source);
        ASSERT_EQ(BlockTransfer(dst.surface, r.x, r.y, r.w, r.h, src.surface, r.x0, r.y0, kAnd), 1) << r.name;
        const QImage out = dst.Pixels();
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 12; ++x) {
                // Destination (x, y) reads source (x - r.x + r.x0, y - r.y + r.y0) when
                // inside both the transfer rectangle and the source.
                const long long sx = static_cast<long long>(x) - r.x + r.x0;
                const long long sy = static_cast<long long>(y) - r.y + r.y0;
                const bool inRect = static_cast<long long>(x) >= r.x && x < static_cast<long long>(r.x) + r.w &&
                                    static_cast<long long>(y) >= r.y && y < static_cast<long long>(r.y) + r.h;
                const bool inSource = sx >= 0 && sx < 8 && sy >= 0 && sy < 8;
                const uint32_t expected =
                    (inRect && inSource) ? Rgb(source, static_cast<int>(sx), static_cast<int>(sy)) : 0xFFFFFFu;
                ASSERT_EQ(Rgb(out, x, y), expected) << r.name << " at " << x << "," << y;
            }
    }
}

TEST(BlockTransfer, RefusesWhatItCannotDo)
{
    Canvas dst(4, 4, 0xFFFFFFFF);
    Canvas src(Pattern(4, 4));
    EXPECT_EQ(BlockTransfer(dst.surface, 0, 0, -1, 4, src.surface, 0, 0, kAnd), 0);
    EXPECT_EQ(BlockTransfer(dst.surface, 0, 0, 4, 4, nullptr, 0, 0, kAnd), 0);
    EXPECT_EQ(BlockTransfer(nullptr, 0, 0, 4, 4, src.surface, 0, 0, kAnd), 0);
    EXPECT_EQ(BlockTransfer(dst.surface, 0, 0, 4, 4, src.surface, 0, 0, 0x123456), 0) << "unknown raster operation";
    EXPECT_EQ(Rgb(dst.Pixels(), 1, 1), 0xFFFFFFu);
}

TEST(Objects, SelectReturnsThePreviousAndSelectedObjectsStay)
{
    Canvas c(4, 4, 0xFFFFFFFF);
    ObjectHandle pen = CreatePenObject(kPenDash, 2, 0xFF0000);
    ObjectHandle stockPen = SelectObject(c.surface, pen);
    ASSERT_NE(stockPen, nullptr);
    EXPECT_EQ(DeleteObject(pen), 0) << "a selected pen is not released";
    EXPECT_EQ(SelectObject(c.surface, stockPen), pen);
    EXPECT_EQ(DeleteObject(pen), 1);
    EXPECT_EQ(DeleteObject(stockPen), 1) << "stock objects survive any delete";
    EXPECT_EQ(DeleteObject(nullptr), 0);

    // A bitmap goes into one memory surface at a time and never into a paint surface.
    SurfaceHandle other = CreateCompatibleSurface(c.surface);
    EXPECT_EQ(SelectObject(other, c.bitmap), nullptr);
    DeleteSurface(other);

    int32_t w = -1, h = -1;
    EXPECT_EQ(GetBitmapSize(c.bitmap, &w, &h), 1);
    EXPECT_EQ(w, 4);
    EXPECT_EQ(h, 4);
    EXPECT_EQ(GetBitmapSize(nullptr, &w, &h), 0);
    EXPECT_EQ(w, 0);
    EXPECT_EQ(h, 0);
}

FontAttributes ViewFont(int32_t height)
{
    FontAttributes a{};
    a.height = height;
    a.weight = kFontWeightBold;
    return a;
}

TEST(Text, DrawsAtTheTopLeftOnAWhiteBandOfTheFontsHeight)
{
    Canvas c(200, 60, kGrey);
    FontAttributes attributes = ViewFont(22);
    ObjectHandle font = CreateFontObject(&attributes);
    ASSERT_NE(font, nullptr);
    ObjectHandle oldFont = SelectObject(c.surface, font);
    SetTextColor(c.surface, 0xFF0000);  // blue, as 0x00BBGGRR
    Rect r{7, 9, 200, 60};
    EXPECT_GT(DrawTextInRect(c.surface, u"Fix  12.4Km/h", -1, &r, kDtInternal), 0);
    const QImage out = c.Pixels();

    // The font's cell is the height asked for, at most.
    Rect measure{0, 0, 0, 0};
    DrawTextInRect(c.surface, u"Fix", -1, &measure, 0x0400);
    const int cell = measure.bottom;
    EXPECT_LE(cell, 22);
    EXPECT_GE(cell, 18);
    const int width = measure.right;
    EXPECT_GT(width, 10);

    int blue = 0, grey = 0;
    for (int y = 9; y < 9 + cell; ++y)
        for (int x = 7; x < 7 + width; ++x) {
            const QRgb p = out.pixel(x, y);
            grey += (p == kGrey) ? 1 : 0;
            blue += (qBlue(p) > 200 && qRed(p) < 60 && qGreen(p) < 60) ? 1 : 0;
        }
    EXPECT_EQ(grey, 0) << "the band under the text is opaque";
    EXPECT_GT(blue, 20) << "the text is drawn in the text colour";
    for (int x = 0; x < 200; ++x) EXPECT_EQ(out.pixel(x, 8), kGrey) << "nothing above the rectangle, x " << x;
    for (int y = 0; y < 60; ++y) EXPECT_EQ(out.pixel(6, y), kGrey) << "nothing left of it, y " << y;
    EXPECT_EQ(out.pixel(150, 9 + cell + 2), kGrey) << "the band is one line high";
    SelectObject(c.surface, oldFont);
    EXPECT_EQ(DeleteObject(font), 1);
}

TEST(Text, IsClippedToItsRectangle)
{
    Canvas c(120, 40, kGrey);
    FontAttributes attributes = ViewFont(22);
    ObjectHandle font = CreateFontObject(&attributes);
    ObjectHandle oldFont = SelectObject(c.surface, font);
    SetTextColor(c.surface, 0xFF0000);
    Rect r{5, 5, 40, 15};  // narrower and lower than the text
    DrawTextInRect(c.surface, u"GPS Not Fixed", -1, &r, kDtInternal);
    const QImage out = c.Pixels();
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 120; ++x) {
            const bool inside = x >= 5 && x < 40 && y >= 5 && y < 15;
            if (!inside) {
                ASSERT_EQ(out.pixel(x, y), kGrey) << x << "," << y;
            }
        }
    EXPECT_NE(out.pixel(6, 6), kGrey);
    // A length cuts the text; nullptr text or rectangle draws nothing.
    Rect four{0, 20, 120, 40}, all{0, 20, 120, 40};
    DrawTextInRect(c.surface, u"GPS Not Fixed", 3, &four, 0x0400);
    DrawTextInRect(c.surface, u"GPS Not Fixed", -1, &all, 0x0400);
    EXPECT_LT(four.right, all.right);
    EXPECT_EQ(DrawTextInRect(c.surface, nullptr, -1, &r, kDtInternal), 0);
    EXPECT_EQ(DrawTextInRect(c.surface, u"x", -1, nullptr, kDtInternal), 0);
    SelectObject(c.surface, oldFont);
    DeleteObject(font);
}

TEST(Text, FontHeightAndWeightFollowTheAttributes)
{
    EnsureQtApplication();
    struct Row {
        int32_t height;
        int32_t weight;
        int minCell, maxCell;
        bool bold;
    } rows[] = {
        {22, 700, 18, 22, true},   // the view's font: cell height 22
        {12, 400, 9, 12, false},
        {-16, 600, 16, 24, true},  // negative: character height, the cell is taller
    };
    for (const Row& row : rows) {
        FontAttributes a{};
        a.height = row.height;
        a.weight = row.weight;
        ObjectHandle font = CreateFontObject(&a);
        Canvas c(10, 10, kGrey);
        ObjectHandle old = SelectObject(c.surface, font);
        Rect m{0, 0, 0, 0};
        DrawTextInRect(c.surface, u"Hg", -1, &m, 0x0400);
        EXPECT_GE(m.bottom, row.minCell) << row.height;
        EXPECT_LE(m.bottom, row.maxCell) << row.height;
        SelectObject(c.surface, old);
        DeleteObject(font);
    }
    FontAttributes regular{};
    regular.height = 22;
    regular.weight = 400;
    FontAttributes bold = regular;
    bold.weight = 700;
    ObjectHandle r = CreateFontObject(&regular), b = CreateFontObject(&bold);
    Canvas c(10, 10, kGrey);
    Rect wr{0, 0, 0, 0}, wb{0, 0, 0, 0};
    ObjectHandle old = SelectObject(c.surface, r);
    DrawTextInRect(c.surface, u"Fix  12.4Km/h", -1, &wr, 0x0400);
    SelectObject(c.surface, b);
    DrawTextInRect(c.surface, u"Fix  12.4Km/h", -1, &wb, 0x0400);
    EXPECT_GT(wb.right, wr.right) << "weight 700 draws bold";
    SelectObject(c.surface, old);
    DeleteObject(r);
    DeleteObject(b);
}

TEST(Shapes, EllipseOutlinesWithThePenAndFillsWhiteWithCornersInEitherOrder)
{
    const QImage first = [] {
        Canvas c(40, 40, kGrey);
        ObjectHandle pen = CreatePenObject(kPenSolid, 2, 0xFF0000);
        ObjectHandle old = SelectObject(c.surface, pen);
        Ellipse(c.surface, 8, 8, 32, 32);
        SelectObject(c.surface, old);
        DeleteObject(pen);
        return c.Pixels();
    }();
    const QImage swapped = [] {
        Canvas c(40, 40, kGrey);
        ObjectHandle pen = CreatePenObject(kPenSolid, 2, 0xFF0000);
        ObjectHandle old = SelectObject(c.surface, pen);
        Ellipse(c.surface, 32, 32, 8, 8);  // as the view passes the position marker
        SelectObject(c.surface, old);
        DeleteObject(pen);
        return c.Pixels();
    }();
    EXPECT_EQ(first, swapped);
    EXPECT_EQ(Rgb(first, 20, 20), 0xFFFFFFu) << "filled white";
    EXPECT_EQ(first.pixel(9, 9), kGrey) << "the box's corner is outside the ellipse";
    EXPECT_EQ(first.pixel(20, 5), kGrey) << "nothing beyond the box";
    EXPECT_EQ(first.pixel(35, 20), kGrey);
    int blue = 0;
    for (int y = 6; y <= 11; ++y) blue += (Rgb(first, 20, y) == 0x0000FFu) ? 1 : 0;
    EXPECT_GE(blue, 1) << "outline in the pen's colour at the top";
    EXPECT_EQ(Ellipse(nullptr, 0, 0, 4, 4), 0);
}

TEST(Shapes, DashedPenLeavesGapsAndSolidPenNone)
{
    for (uint32_t style : {kPenSolid, kPenDash}) {
        Canvas c(100, 10, 0xFFFFFFFF);
        ObjectHandle pen = CreatePenObject(style, 2, 0x0000FF);  // red
        ObjectHandle old = SelectObject(c.surface, pen);
        const Point line[] = {{0, 5}, {99, 5}};
        ASSERT_EQ(Polyline(c.surface, line, 2), 1);
        SelectObject(c.surface, old);
        DeleteObject(pen);
        const QImage out = c.Pixels();
        int red = 0, white = 0;
        for (int x = 2; x < 95; ++x) {
            const uint32_t p = Rgb(out, x, 5);
            red += p == 0xFF0000u ? 1 : 0;
            white += p == 0xFFFFFFu ? 1 : 0;
        }
        if (style == kPenSolid) {
            EXPECT_EQ(white, 0);
        } else {
            EXPECT_GT(white, 10) << "dashes have gaps";
            EXPECT_GT(red, 10);
        }
        EXPECT_EQ(Rgb(out, 50, 1), 0xFFFFFFu) << "a width-2 pen stays near its line";
    }
    Canvas c(10, 10, 0xFFFFFFFF);
    const Point one[] = {{1, 1}};
    EXPECT_EQ(Polyline(c.surface, one, 1), 0);
    EXPECT_EQ(Polyline(c.surface, nullptr, 2), 0);
}

TEST(Shapes, LinesToFarPointsStayDashedAndCrossTheSurface)
{
    // A target kilometres off-screen: the visible part is still dashed.
    struct Row {
        const char* name;
        Point from, to;
    } rows[] = {
        {"down a hundred million pixels", {50, 10}, {50, 100000000}},
        {"to the saturated edge", {50, 10}, {50, INT_MAX}},
        {"from far above to far below", {50, INT_MIN}, {50, INT_MAX}},
    };
    for (const Row& row : rows) {
        Canvas c(100, 100, 0xFFFFFFFF);
        ObjectHandle pen = CreatePenObject(kPenDash, 2, 0x0000FF);
        ObjectHandle old = SelectObject(c.surface, pen);
        const Point line[] = {row.from, row.to};
        ASSERT_EQ(Polyline(c.surface, line, 2), 1) << row.name;
        SelectObject(c.surface, old);
        DeleteObject(pen);
        const QImage out = c.Pixels();
        int red = 0, white = 0;
        for (int y = 12; y < 98; ++y) {
            const bool any = Rgb(out, 49, y) == 0xFF0000u || Rgb(out, 50, y) == 0xFF0000u;
            red += any ? 1 : 0;
            white += any ? 0 : 1;
        }
        EXPECT_GT(red, 20) << row.name;
        EXPECT_GT(white, 10) << row.name << ": dashes, not a solid line";
    }
}

TEST(Shapes, DashesKeepTheirPhaseAcrossACutLine)
{
    // The same line drawn whole and from a start far above: identical pixels
    // where both are visible, since the pattern is measured from each start.
    auto draw = [](Point from) {
        Canvas c(20, 100, 0xFFFFFFFF);
        ObjectHandle pen = CreatePenObject(kPenDash, 2, 0x0000FF);
        ObjectHandle old = SelectObject(c.surface, pen);
        const Point line[] = {from, {10, 99}};
        Polyline(c.surface, line, 2);
        SelectObject(c.surface, old);
        DeleteObject(pen);
        return c.Pixels();
    };
    const QImage near = draw({10, -120});   // 120 pixels above: ten whole patterns of 12
    const QImage far = draw({10, -1200});   // a hundred whole patterns above
    for (int y = 5; y < 95; ++y) EXPECT_EQ(Rgb(near, 10, y), Rgb(far, 10, y)) << y;
}

TEST(Icons, DrawThroughTheirMaskAtTheirOwnSize)
{
    Canvas c(60, 60, kGrey);
    IconHandle icon = LoadIconResource(&testResources, kTestIcon);
    ASSERT_NE(icon, nullptr);
    ASSERT_EQ(DrawIconAt(c.surface, 10, 20, icon, 0, 0, 0, nullptr, kDiNormal), 1);
    const QImage out = c.Pixels();
    EXPECT_EQ(Rgb(out, 26, 36), 0xFF0000u) << "the disc's centre (16, 16) from (10, 20)";
    EXPECT_EQ(out.pixel(11, 21), kGrey) << "transparent corner leaves the background";
    EXPECT_EQ(out.pixel(45, 36), kGrey) << "the icon is 32 pixels wide";
    EXPECT_EQ(DrawIconAt(c.surface, 0, 0, nullptr, 0, 0, 0, nullptr, kDiNormal), 0);
    DestroyIconHandle(icon);
}

}  // namespace
