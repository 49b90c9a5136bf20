// Drawing on Qt: paint surfaces over the main window's back buffer, memory
// surfaces over a selected bitmap, pens, fonts, block transfer with a raster
// operation (clipped before any pixel is read), polylines, ellipses, text on an
// opaque white band, icons through their alpha mask. Colours are 0x00BBGGRR.
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "platform/qt/qt_bitmap_file.h"
#include "platform/qt/qt_handles.h"
#include "platform/qt/qt_internal.h"

namespace {

constexpr uint32_t kRopSourceCopy = 0xCC0020;    // destination = source
constexpr uint32_t kRopSourcePaint = 0xEE0086;   // destination = source OR destination
constexpr uint32_t kRopSourceInvert = 0x660046;  // destination = source XOR destination
constexpr uint32_t kRopBlackness = 0x000042;
constexpr uint32_t kRopWhiteness = 0xFF0062;

constexpr uint32_t kPenDot = 2, kPenDashDot = 3, kPenDashDotDot = 4, kPenNull = 5;

constexpr uint32_t kDtCenter = 0x0001;
constexpr uint32_t kDtRight = 0x0002;
constexpr uint32_t kDtVCenter = 0x0004;
constexpr uint32_t kDtBottom = 0x0008;
constexpr uint32_t kDtSingleLine = 0x0020;
constexpr uint32_t kDtNoClip = 0x0100;
constexpr uint32_t kDtCalcRect = 0x0400;

PlatformObject* MakeStock(PlatformObject::Type type)
{
    auto* o = new PlatformObject;
    o->type = type;
    o->stock = true;
    return o;
}

// Pixel size whose full cell height (ascent + descent) is at most height: a
// positive font height names the cell, not the em square.
int MeasurePixelSize(QFont font, int height)
{
    int size = height;
    font.setPixelSize(size);
    const int first = QFontMetrics(font).height();
    if (first > height) size = std::max(1, static_cast<int>(static_cast<int64_t>(size) * height / first) + 1);
    while (size > 1) {
        font.setPixelSize(size);
        if (QFontMetrics(font).height() <= height) break;
        --size;
    }
    return std::max(1, size);
}

int PixelSizeForCellHeight(QFont font, int height)
{
    // Asked on every paint with the same few fonts: each answer is kept.
    static std::map<std::pair<QString, int>, int> known;
    const std::pair<QString, int> key{font.key(), height};
    if (auto found = known.find(key); found != known.end()) return found->second;
    if (known.size() > 256) known.clear();
    return known[key] = MeasurePixelSize(font, height);
}

QPen PenOf(const PlatformSurface* s)
{
    const PlatformObject* pen = s->pen != nullptr ? s->pen : StockPen();
    if (pen->nullPen) return QPen(Qt::NoPen);
    return pen->pen;
}

}  // namespace

QString DefaultFontFamily()
{
    EnsureQtApplication();
    return QGuiApplication::font().family();
}

PlatformObject* StockPen()
{
    static PlatformObject* pen = [] {
        PlatformObject* o = MakeStock(PlatformObject::Pen);
        o->pen = QPen(Qt::black, 1, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin);
        return o;
    }();
    return pen;
}

PlatformObject* StockFont()
{
    static PlatformObject* font = [] {
        PlatformObject* o = MakeStock(PlatformObject::Font);
        o->font = QFont(DefaultFontFamily());
        o->font.setPixelSize(PixelSizeForCellHeight(o->font, 16));
        return o;
    }();
    return font;
}

PlatformObject* StockBitmap()
{
    static PlatformObject* bitmap = [] {
        PlatformObject* o = MakeStock(PlatformObject::Bitmap);
        o->image = QImage(1, 1, QImage::Format_RGB32);
        o->image.fill(Qt::black);
        return o;
    }();
    return bitmap;
}

QImage* PlatformSurface::Target()
{
    if (memory) {
        // Drawing into a bitmap read in place needs its pixels decoded first.
        if (bitmap == nullptr || !DecodeBitmapWhole(bitmap)) return nullptr;
        return &bitmap->image;
    }
    if (!IsLiveWindow(window)) return nullptr;
    FinishErase(window);
    return &window->backBuffer;
}

void FinishErase(WindowHandle window)
{
    if (!IsLiveWindow(window) || !window->whitePending) return;
    window->backBuffer.fill(Qt::white);
    window->whitePending = false;
}

bool EraseAround(SurfaceHandle surface, int64_t left, int64_t top, int64_t right, int64_t bottom)
{
    if (surface == nullptr || surface->memory || !IsLiveWindow(surface->window)) return false;
    WindowHandle window = surface->window;
    if (!window->whitePending) return false;
    QImage& b = window->backBuffer;
    window->whitePending = false;
    if (left >= right || top >= bottom) return b.fill(Qt::white), true;
    const int64_t w = b.width();
    auto white = [&b](int64_t from, int64_t to, int64_t row) {
        auto* p = reinterpret_cast<uint32_t*>(b.scanLine(static_cast<int>(row)));
        std::fill(p + from, p + to, 0xFFFFFFFFu);
    };
    for (int64_t row = 0; row < b.height(); ++row) {
        if (row < top || row >= bottom) {
            white(0, w, row);
        } else {
            white(0, left, row);
            white(right, w, row);
        }
    }
    return true;
}

// ---- Paint surfaces ------------------------------------------------------------------------

SurfaceHandle BeginPaint(WindowHandle window, PaintInfo* info)
{
    if (!IsLiveWindow(window) || window->kind != PlatformWindow::MainWindow) return nullptr;
    if (window->eraseDue) {
        window->whitePending = true;  // filled by the first drawing, around what it covers
        window->eraseDue = false;
        window->erasedThisPaint = true;
    }
    window->invalid = false;
    auto* s = new PlatformSurface;
    s->window = window;
    s->pen = StockPen();
    s->font = StockFont();
    ++s->pen->selectedCount;
    ++s->font->selectedCount;
    if (info != nullptr) {
        info->surface = s;
        info->erase = window->erasedThisPaint ? 1 : 0;
        info->paintArea = Rect{0, 0, window->backBuffer.width(), window->backBuffer.height()};
    }
    return s;
}

void EndPaint(WindowHandle window, const PaintInfo* info)
{
    if (info == nullptr || info->surface == nullptr) return;
    PlatformSurface* s = info->surface;
    FinishErase(window);
    if (s->pen != nullptr) --s->pen->selectedCount;
    if (s->font != nullptr) --s->font->selectedCount;
    delete s;
    if (IsLiveWindow(window) && window->client != nullptr && !window->inPaintEvent) window->client->update();
}

void GetClientRect(WindowHandle window, Rect* rect)
{
    if (rect == nullptr) return;
    *rect = Rect{0, 0, 0, 0};
    if (!IsLiveWindow(window)) return;
    if (window->kind == PlatformWindow::MainWindow) {
        rect->right = window->backBuffer.width();
        rect->bottom = window->backBuffer.height();
    } else if (QWidget* w = window->widget) {
        rect->right = w->width();
        rect->bottom = w->height();
    }
}

uint32_t SetTextColor(SurfaceHandle surface, uint32_t colour)
{
    if (surface == nullptr) return 0xFFFFFFFF;
    uint32_t previous = surface->textColour;
    surface->textColour = colour & 0x00FFFFFF;
    return previous;
}

// ---- Objects -------------------------------------------------------------------------------

ObjectHandle CreateFontObject(const FontAttributes* a)
{
    EnsureQtApplication();
    if (a == nullptr) return nullptr;
    auto* o = new PlatformObject;
    o->type = PlatformObject::Font;
    QString family = QStringOfText(a->faceName[0] != 0 ? a->faceName : nullptr);
    if (family.isEmpty() || !QFontDatabase::families().contains(family, Qt::CaseInsensitive))
        family = DefaultFontFamily();
    o->font = QFont(family);
    o->font.setBold(a->weight >= 600);
    o->font.setItalic(a->italic != 0);
    o->font.setUnderline(a->underline != 0);
    o->font.setStrikeOut(a->strikeOut != 0);
    if (a->height > 0)
        o->font.setPixelSize(PixelSizeForCellHeight(o->font, std::min(a->height, 2000)));
    else if (a->height < 0)
        o->font.setPixelSize(std::min(-static_cast<int64_t>(a->height), int64_t{2000}));
    else
        o->font.setPixelSize(StockFont()->font.pixelSize());
    return o;
}

ObjectHandle CreatePenObject(uint32_t style, int32_t width, uint32_t colour)
{
    auto* o = new PlatformObject;
    o->type = PlatformObject::Pen;
    const int w = std::clamp(width, 1, 1000);
    Qt::PenStyle qs = Qt::SolidLine;
    switch (style) {
    case kPenDash: qs = Qt::DashLine; break;
    case kPenDot: qs = Qt::DotLine; break;
    case kPenDashDot: qs = Qt::DashDotLine; break;
    case kPenDashDotDot: qs = Qt::DashDotDotLine; break;
    case kPenNull: o->nullPen = true; break;
    default: break;
    }
    o->pen = QPen(QColorOfRef(colour), w, qs, qs == Qt::SolidLine && w > 1 ? Qt::RoundCap : Qt::FlatCap,
                  qs == Qt::SolidLine && w > 1 ? Qt::RoundJoin : Qt::MiterJoin);
    return o;
}

ObjectHandle SelectObject(SurfaceHandle surface, ObjectHandle object)
{
    if (surface == nullptr || object == nullptr) return nullptr;
    PlatformObject** slot = nullptr;
    switch (object->type) {
    case PlatformObject::Pen: slot = &surface->pen; break;
    case PlatformObject::Font: slot = &surface->font; break;
    case PlatformObject::Bitmap:
        // A bitmap goes only into a memory surface, and into one at a time.
        if (!surface->memory) return nullptr;
        if (!object->stock && object->selectedCount > 0 && surface->bitmap != object) return nullptr;
        slot = &surface->bitmap;
        break;
    }
    PlatformObject* previous = *slot;
    if (previous != nullptr) --previous->selectedCount;
    *slot = object;
    ++object->selectedCount;
    return previous;
}

int DeleteObject(ObjectHandle object)
{
    if (object == nullptr) return 0;
    if (object->stock) return 1;
    if (object->selectedCount > 0) return 0;
    delete object;
    return 1;
}

SurfaceHandle CreateCompatibleSurface(SurfaceHandle)
{
    auto* s = new PlatformSurface;
    s->memory = true;
    s->pen = StockPen();
    s->font = StockFont();
    s->bitmap = StockBitmap();
    ++s->pen->selectedCount;
    ++s->font->selectedCount;
    ++s->bitmap->selectedCount;
    return s;
}

int DeleteSurface(SurfaceHandle surface)
{
    if (surface == nullptr || !surface->memory) return 0;
    for (PlatformObject* o : {surface->pen, surface->font, surface->bitmap})
        if (o != nullptr) --o->selectedCount;
    delete surface;
    return 1;
}

int GetBitmapSize(BitmapHandle bitmap, int32_t* width, int32_t* height)
{
    if (width != nullptr) *width = 0;
    if (height != nullptr) *height = 0;
    int32_t w = 0, h = 0;
    if (!BitmapDimensions(bitmap, &w, &h)) return 0;
    if (width != nullptr) *width = w;
    if (height != nullptr) *height = h;
    return 1;
}

BitmapHandle CreateBitmapFromImage(const QImage& image)
{
    if (image.isNull()) return nullptr;
    auto* o = new PlatformObject;
    o->type = PlatformObject::Bitmap;
    o->image = image.convertToFormat(QImage::Format_RGB32);
    return o;
}

QImage BitmapImage(BitmapHandle bitmap)
{
    if (bitmap == nullptr || bitmap->type != PlatformObject::Bitmap) return QImage();
    if (!bitmap->mapped) return bitmap->image.copy();
    PlatformObject copy;  // shares the mapping, decodes it into its own image
    copy.type = PlatformObject::Bitmap;
    copy.mapped = bitmap->mapped;
    return DecodeBitmapWhole(&copy) ? copy.image : QImage();
}

// ---- Block transfer ---------------------------------------------------------------------------

int BlockTransfer(SurfaceHandle destination, int32_t x, int32_t y, int32_t width, int32_t height,
                  SurfaceHandle source, int32_t x0, int32_t y0, uint32_t rop)
{
    if (destination == nullptr || width < 0 || height < 0) return 0;
    if (rop != kRopSourceAnd && rop != kRopSourceCopy && rop != kRopSourcePaint && rop != kRopSourceInvert &&
        rop != kRopBlackness && rop != kRopWhiteness)
        return 0;
    const bool needsSource = rop != kRopBlackness && rop != kRopWhiteness;
    // The source's pixels: a bitmap read in place is left where it is and only
    // the rows and columns that land inside the destination are converted.
    const PlatformObject* inPlace = nullptr;
    QImage* src = nullptr;
    int32_t srcWidth = 0, srcHeight = 0;
    int32_t firstRow = 0, endRow = 0;  // source rows that can be read
    if (needsSource) {
        if (source == nullptr) return 0;
        if (source->memory) RefreshBitmap(source->bitmap);
        if (source->memory && source->bitmap != nullptr && source->bitmap->mapped) {
            inPlace = source->bitmap;
            if (!BitmapDimensions(inPlace, &srcWidth, &srcHeight)) return 0;
            if (!BitmapReadableRows(inPlace, &firstRow, &endRow)) return 1;  // nothing left to draw
        } else {
            src = source->Target();
            if (src == nullptr || src->isNull()) return 0;
            if (src->format() != QImage::Format_RGB32) *src = src->convertToFormat(QImage::Format_RGB32);
            srcWidth = src->width(), srcHeight = src->height();
            endRow = srcHeight;
        }
    }
    // A paint surface whose erase is still due is filled only around what the
    // transfer covers; an AND over that white is a copy.
    const bool eraseLater = !destination->memory && IsLiveWindow(destination->window) &&
                            destination->window->whitePending && needsSource &&
                            (rop == kRopSourceAnd || rop == kRopSourceCopy);
    QImage* dst = eraseLater ? &destination->window->backBuffer : destination->Target();
    if (dst == nullptr || dst->isNull()) return 0;
    if (dst->format() != QImage::Format_RGB32) *dst = dst->convertToFormat(QImage::Format_RGB32);

    // Clip in 64 bits: the rectangle to the destination, and what it reads to the
    // source, so only the pixels that land inside are ever visited.
    int64_t left = x, top = y, right = int64_t{x} + width, bottom = int64_t{y} + height;
    left = std::max<int64_t>(left, 0);
    top = std::max<int64_t>(top, 0);
    right = std::min<int64_t>(right, dst->width());
    bottom = std::min<int64_t>(bottom, dst->height());
    if (needsSource) {
        const int64_t dx = int64_t{x} - x0, dy = int64_t{y} - y0;  // destination = source + d
        left = std::max<int64_t>(left, dx);
        top = std::max<int64_t>(top, dy + firstRow);
        right = std::min<int64_t>(right, dx + srcWidth);
        bottom = std::min<int64_t>(bottom, dy + endRow);
    }
    if (left >= right || top >= bottom) return 1;
    if (eraseLater && EraseAround(destination, left, top, right, bottom)) rop = kRopSourceCopy;
    const int64_t sx = left - x + x0, sy = top - y + y0;
    const int64_t n = right - left;
    if (inPlace != nullptr)
        PrepareBitmapRows(inPlace, static_cast<int32_t>(sx), static_cast<int32_t>(sy), static_cast<int32_t>(n),
                          static_cast<int32_t>(bottom - top));
    std::vector<uint32_t> scratch(inPlace != nullptr && rop != kRopSourceAnd ? static_cast<size_t>(n) : 0);
    // A file cut short during the rows ends the transfer: what is drawn stays.
    volatile int64_t reached = top;  // the row being drawn when a cut ends the transfer
    const bool whole = GuardedRead([&] {
    for (int64_t row = top; row < bottom; ++row) {
        reached = row;
        auto* d = reinterpret_cast<uint32_t*>(dst->scanLine(static_cast<int>(row))) + left;
        const int32_t sourceRow = static_cast<int32_t>(sy + row - top);
        if (inPlace != nullptr && rop == kRopSourceAnd) {
            AndBitmapRow(inPlace, static_cast<int32_t>(sx), sourceRow, static_cast<int32_t>(n), d);
            continue;
        }
        const uint32_t* s = nullptr;
        if (inPlace != nullptr && rop == kRopSourceCopy) {  // converted straight into the destination
            if (BitmapRow(inPlace, static_cast<int32_t>(sx), sourceRow, static_cast<int32_t>(n), d) == d) continue;
        }
        if (inPlace != nullptr)
            s = BitmapRow(inPlace, static_cast<int32_t>(sx), sourceRow, static_cast<int32_t>(n), scratch.data());
        else if (src != nullptr)
            s = reinterpret_cast<const uint32_t*>(src->constScanLine(sourceRow)) + sx;
        switch (rop) {
        case kRopSourceAnd:
            for (int64_t i = 0; i < n; ++i) d[i] &= s[i] | 0xFF000000u;
            break;
        case kRopSourceCopy:
            for (int64_t i = 0; i < n; ++i) d[i] = s[i] | 0xFF000000u;
            break;
        case kRopSourcePaint:
            for (int64_t i = 0; i < n; ++i) d[i] |= s[i];
            break;
        case kRopSourceInvert:
            for (int64_t i = 0; i < n; ++i) d[i] = (d[i] ^ s[i]) | 0xFF000000u;
            break;
        case kRopBlackness:
            for (int64_t i = 0; i < n; ++i) d[i] = 0xFF000000u;
            break;
        case kRopWhiteness:
            for (int64_t i = 0; i < n; ++i) d[i] = 0xFFFFFFFFu;
            break;
        }
    }
    });
    if (!whole) {
        SayCutDuringRead(inPlace);
        if (rop == kRopSourceCopy)  // what it did not reach stays as white as the erase left it
            for (int64_t row = reached; row < bottom; ++row) {
                auto* d = reinterpret_cast<uint32_t*>(dst->scanLine(static_cast<int>(row)));
                std::fill(d + left, d + right, 0xFFFFFFFFu);
            }
    }
    return 1;
}

// ---- Lines, ellipses, text, icons ----------------------------------------------------------------

namespace {

// Clips the segment a + t (b - a), t in [0, 1], to box (Liang-Barsky); false when
// nothing of it is inside.
bool ClipSegment(const QPointF& a, const QPointF& b, const QRectF& box, double* t0, double* t1)
{
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - box.left(), box.right() - a.x(), a.y() - box.top(), box.bottom() - a.y()};
    *t0 = 0.0;
    *t1 = 1.0;
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0) return false;
            continue;
        }
        const double r = q[i] / p[i];
        if (p[i] < 0.0) {
            if (r > *t1) return false;
            *t0 = std::max(*t0, r);
        } else {
            if (r < *t0) return false;
            *t1 = std::min(*t1, r);
        }
    }
    return *t0 <= *t1;
}

}  // namespace

int Polyline(SurfaceHandle surface, const Point* points, int32_t count)
{
    if (surface == nullptr || points == nullptr || count < 2) return 0;
    QImage* target = surface->Target();
    if (target == nullptr || target->isNull()) return 0;
    const QPen pen = PenOf(surface);
    if (pen.style() == Qt::NoPen) return 1;
    // Each segment is cut to the surface (with room for the pen) before drawing:
    // a point far off-screen, such as a distant target, must neither overflow the
    // rasterizer nor make the dash pattern give up and draw solid. The dashes
    // keep their phase along the whole line through the pen's dash offset.
    const double width = std::max(1.0, pen.widthF());
    const double margin = width + 2.0;
    const QRectF box(-margin, -margin, target->width() + 2 * margin, target->height() + 2 * margin);
    const bool dashed = pen.style() != Qt::SolidLine;
    double patternLength = 0.0;  // in pen widths, as the dash offset is
    if (dashed)
        for (qreal d : pen.dashPattern()) patternLength += d;
    QPainter p(target);
    p.setBrush(Qt::NoBrush);
    double walked = 0.0;  // path length before the current segment, pixels
    for (int32_t i = 1; i < count; ++i) {
        const QPointF a(points[i - 1].x, points[i - 1].y), b(points[i].x, points[i].y);
        const double length = std::hypot(b.x() - a.x(), b.y() - a.y());
        double t0 = 0.0, t1 = 1.0;
        if (length > 0.0 && ClipSegment(a, b, box, &t0, &t1)) {
            QPen segmentPen = pen;
            if (dashed && patternLength > 0.0)
                segmentPen.setDashOffset(std::fmod((walked + t0 * length) / width, patternLength));
            p.setPen(segmentPen);
            p.drawLine(a + t0 * (b - a), a + t1 * (b - a));
        }
        walked += length;
    }
    return 1;
}

int Ellipse(SurfaceHandle surface, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (surface == nullptr) return 0;
    QImage* target = surface->Target();
    if (target == nullptr || target->isNull()) return 0;
    // The box may come with its corners in either order.
    const int64_t l = std::min(left, right), r = std::max(left, right);
    const int64_t t = std::min(top, bottom), b = std::max(top, bottom);
    if (r - l < 2 || b - t < 2) return 1;
    const int64_t margin = 2 + static_cast<int64_t>(PenOf(surface).widthF());
    if (r < -margin || b < -margin || l > target->width() + margin || t > target->height() + margin) return 1;
    if (DrawKeptEllipse(target, PenOf(surface), l, t, r - l, b - t)) return 1;
    QPainter p(target);
    p.setPen(PenOf(surface));
    p.setBrush(Qt::white);
    // The box's right and bottom edges are outside the figure.
    p.drawEllipse(QRectF(static_cast<double>(l), static_cast<double>(t), static_cast<double>(r - l - 1),
                         static_cast<double>(b - t - 1)));
    return 1;
}

int DrawTextInRect(SurfaceHandle surface, const char16_t* text, int32_t length, Rect* rect, uint32_t format)
{
    if (surface == nullptr || text == nullptr || rect == nullptr) return 0;
    const QString all = QStringOfText(text, length);
    const QFont font = (surface->font != nullptr ? surface->font : StockFont())->font;
    const KeptMetrics metrics(font);
    const int lineHeight = metrics.height();
    QStringList lines = (format & kDtSingleLine) ? QStringList{QString(all).replace(QLatin1Char('\n'), QLatin1Char(' '))}
                                                 : all.split(QLatin1Char('\n'));
    int widest = 0;
    for (const QString& line : lines) widest = std::max(widest, metrics.horizontalAdvance(line));
    const int totalHeight = lineHeight * static_cast<int>(lines.size());
    if (format & kDtCalcRect) {
        rect->right = rect->left + widest;
        rect->bottom = rect->top + totalHeight;
        return totalHeight;
    }
    QImage* target = surface->Target();
    if (target == nullptr || target->isNull()) return 0;
    const QRect box(QPoint(rect->left, rect->top), QPoint(rect->right - 1, rect->bottom - 1));
    int y = rect->top;
    if (format & kDtSingleLine) {
        if (format & kDtBottom)
            y = rect->bottom - lineHeight;
        else if (format & kDtVCenter)
            y = rect->top + (rect->bottom - rect->top - lineHeight) / 2;
    }
    const QRect clip = (format & kDtNoClip) ? target->rect() : box;
    QPainter p;
    for (const QString& line : lines) {
        const int w = metrics.horizontalAdvance(line);
        int x = rect->left;
        if (format & kDtCenter)
            x = rect->left + (rect->right - rect->left - w) / 2;
        else if (format & kDtRight)
            x = rect->right - w;
        // Text sits on an opaque white band as tall as the font's cell.
        if (DrawKeptTextLine(target, font, surface->textColour, line, x, y, w, lineHeight, metrics.ascent(), clip)) {
            y += lineHeight;
            continue;
        }
        if (!p.isActive()) {
            p.begin(target);
            if (!(format & kDtNoClip)) p.setClipRect(box);
            p.setFont(font);
            p.setPen(QColorOfRef(surface->textColour));
        }
        p.fillRect(QRect(x, y, w, lineHeight), Qt::white);
        p.drawText(QPoint(x, y + metrics.ascent()), line);
        y += lineHeight;
    }
    return totalHeight;
}

int DrawIconAt(SurfaceHandle surface, int32_t x, int32_t y, IconHandle icon, int32_t width, int32_t height,
               uint32_t step, void* brush, uint32_t flags)
{
    if (surface == nullptr || icon == nullptr || icon->image.isNull()) return 0;
    QImage* target = surface->Target();
    if (target == nullptr || target->isNull()) return 0;
    const int w = width > 0 ? width : icon->image.width();
    const int h = height > 0 ? height : icon->image.height();
    QPainter p(target);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if ((flags & kDiNormal) == kDiNormal) {
        // Through the mask: transparent parts leave what lies beneath.
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        p.drawImage(QRect(x, y, w, h), icon->image);
    } else {
        // The image alone, its transparent parts as black.
        QImage opaque(icon->image.size(), QImage::Format_RGB32);
        opaque.fill(Qt::black);
        QPainter q(&opaque);
        q.drawImage(0, 0, icon->image);
        q.end();
        p.drawImage(QRect(x, y, w, h), opaque);
    }
    return 1;
}
