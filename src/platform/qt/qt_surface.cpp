// Drawing surfaces on Qt: paint surfaces over the main window's back buffer (an
// erase due is done by the first drawing, around what it covers), memory surfaces
// over a selected bitmap, stock objects, pens, fonts and their selection, bitmap
// objects made from images. Colours are 0x00BBGGRR.
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cstdint>
#include <map>
#include <utility>

#include "platform/qt/qt_handles.h"
#include "platform/qt/qt_internal.h"

namespace {

constexpr uint32_t kPenDot = 2, kPenDashDot = 3, kPenDashDotDot = 4, kPenNull = 5;

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
    static std::map<std::pair<FontId, int>, int> known;
    const std::pair<FontId, int> key{FontIdOf(font), height};
    if (auto found = known.find(key); found != known.end()) return found->second;
    if (known.size() > 256) known.clear();
    return known[key] = MeasurePixelSize(font, height);
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
    uchar* const pixels = b.bits();
    const qsizetype stride = b.bytesPerLine();
    auto white = [&](int64_t from, int64_t to, int64_t row) {
        auto* p = reinterpret_cast<uint32_t*>(pixels + row * stride);
        std::fill(p + from, p + to, 0xFFFFFFFFu);
    };
    for (int64_t row = 0; row < b.height(); ++row) {
        if (row < top || row >= bottom) {
            white(0, w, row);
        } else {
            if (left > 0) white(0, left, row);
            if (right < w) white(right, w, row);
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
