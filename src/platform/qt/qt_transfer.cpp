// The block transfer on Qt: a rectangle of a source surface onto a destination
// with a raster operation, clipped in 64 bits before any pixel is read; a bitmap
// read in place converts only the rows and columns that land inside, and a file
// cut short meanwhile ends the transfer instead of the process.
#include <QImage>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/qt/qt_bitmap_file.h"
#include "platform/qt/qt_internal.h"

namespace {

constexpr uint32_t kRopSourceCopy = 0xCC0020;    // destination = source
constexpr uint32_t kRopSourcePaint = 0xEE0086;   // destination = source OR destination
constexpr uint32_t kRopSourceInvert = 0x660046;  // destination = source XOR destination
constexpr uint32_t kRopBlackness = 0x000042;
constexpr uint32_t kRopWhiteness = 0xFF0062;

}  // namespace

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
    uchar* const pixels = dst->bits();  // rows by stride: scanLine() would check for sharing at every row
    const qsizetype stride = dst->bytesPerLine();
    const bool whole = GuardedRead([&] {
    for (int64_t row = top; row < bottom; ++row) {
        reached = row;
        auto* d = reinterpret_cast<uint32_t*>(pixels + row * stride) + left;
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
        CombineRow(rop, s, d, n);
    }
    });
    if (!whole) {
        SayCutDuringRead(inPlace);
        if (rop == kRopSourceCopy)  // what it did not reach stays as white as the erase left it
            for (int64_t row = reached; row < bottom; ++row) {
                auto* d = reinterpret_cast<uint32_t*>(pixels + row * stride);
                std::fill(d + left, d + right, 0xFFFFFFFFu);
            }
    }
    return 1;
}

void CombineRow(uint32_t rop, const uint32_t* s, uint32_t* d, int64_t n)
{
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
    default: break;
    }
}
