// Scaled transfer and colour filters on Qt. A destination pixel's centre maps
// linearly onto the source rectangle; a reduction reads the one source pixel under
// that point, an enlargement blends the four around it. Only destination pixels
// inside the surface and over the bitmap are touched. Colours are 0xFFRRGGBB.
#include <QImage>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/qt/qt_bitmap_file.h"
#include "platform/qt/qt_internal.h"

namespace {

constexpr uint32_t kRopSourceCopy = 0xCC0020, kRopSourcePaint = 0xEE0086, kRopSourceInvert = 0x660046;
constexpr uint32_t kRopBlackness = 0x000042, kRopWhiteness = 0xFF0062;

// Where the destination pixels of one axis read the source: for each destination
// index, the two bitmap indices to blend and the weight of the second (0 .. 255,
// always 0 for a reduction). Only the run of indices over the bitmap is kept.
struct AxisSamples {
    int64_t first = 0, end = 0;  // destination run [first, end) over the bitmap
    std::vector<int32_t> low, high;
    std::vector<uint32_t> weight;
};

// Destination indices [from, to) of a rectangle at origin of extent onto the source
// rectangle at sourceOrigin of sourceExtent, over the bitmap's readable indices
// [bitmapFirst, bitmapEnd). Exact integer arithmetic: any int32 rectangle.
AxisSamples SampleAxis(int64_t from, int64_t to, int64_t origin, int64_t extent, int64_t sourceOrigin,
                       int64_t sourceExtent, int64_t bitmapFirst, int64_t bitmapEnd)
{
    AxisSamples a;
    const bool blend = sourceExtent < extent;
    a.first = to;
    a.end = to;
    for (int64_t d = from; d < to; ++d) {
        const __int128 twice = 2 * static_cast<__int128>(d - origin) + 1;  // twice the centre, in pixels
        const int64_t centre = sourceOrigin + static_cast<int64_t>(twice * sourceExtent / (2 * extent));
        if (centre < bitmapFirst || centre >= bitmapEnd) {
            if (a.first < to) break;  // past the run over the bitmap
            continue;
        }
        if (a.first == to) a.first = d;
        a.end = d + 1;
        int64_t low = centre, weight = 0;
        if (blend) {
            // The centre minus half a source pixel, in 1/256 of a source pixel, floored.
            const __int128 numerator = (twice * sourceExtent - extent) * 256;
            __int128 at = numerator / (2 * extent);
            if (at * 2 * extent > numerator) --at;
            low = sourceOrigin + static_cast<int64_t>(at >> 8);
            weight = static_cast<int64_t>(at & 255);
        }
        const int64_t high = std::clamp<int64_t>(low + (weight != 0 ? 1 : 0), bitmapFirst, bitmapEnd - 1);
        a.low.push_back(static_cast<int32_t>(std::clamp<int64_t>(low, bitmapFirst, bitmapEnd - 1)));
        a.high.push_back(static_cast<int32_t>(high));
        a.weight.push_back(static_cast<uint32_t>(weight));
    }
    return a;
}

// a * (256 - w) + b * w per channel, / 256, rounded; alpha stays opaque.
inline uint32_t Blend(uint32_t a, uint32_t b, uint32_t w)
{
    const uint32_t rb = ((a & 0xFF00FFu) * (256 - w) + (b & 0xFF00FFu) * w + 0x800080u) >> 8 & 0xFF00FFu;
    const uint32_t g = ((a & 0x00FF00u) * (256 - w) + (b & 0x00FF00u) * w + 0x008000u) >> 8 & 0x00FF00u;
    return 0xFF000000u | rb | g;
}

// A source row resampled along x: the pixels the destination run reads, blended
// where it enlarges. Keeps the last two rows made, as consecutive destination rows
// of an enlargement read the same source rows.
class RowMaker {
public:
    RowMaker(const PlatformObject* bitmap, const QImage* image, const AxisSamples& xs)
        : bitmap_(bitmap), image_(image), xs_(xs), n_(static_cast<int32_t>(xs.end - xs.first))
    {
        for (auto& slot : rows_) slot.resize(static_cast<size_t>(n_));
        spanFrom_ = n_ > 0 ? xs.low.front() : 0;
        const int32_t spanTo = n_ > 0 ? std::max(xs.high.back(), xs.low.back()) : 0;
        enlarging_ = n_ > 0 && std::any_of(xs.weight.begin(), xs.weight.end(), [](uint32_t w) { return w != 0; });
        if (enlarging_) span_.resize(static_cast<size_t>(spanTo - spanFrom_ + 1));
    }

    // Source row y resampled for destination indices [from, to) (the rest of the
    // row it returns is not to be read). keep: a row the caller still holds.
    const uint32_t* Row(int32_t y, int32_t keep, int32_t from, int32_t to)
    {
        for (int k = 0; k < 2; ++k)
            if (made_[k] == y && madeFrom_[k] == from && madeTo_[k] == to) return rows_[k].data();
        // Never overwrite the row the caller still holds (keep, over the same indices).
        const int k = made_[0] == keep && madeFrom_[0] == from && madeTo_[0] == to ? 1 : 0;
        Make(y, rows_[k].data(), from, to);
        made_[k] = y, madeFrom_[k] = from, madeTo_[k] = to;
        return rows_[k].data();
    }
    const uint32_t* Row(int32_t y, int32_t keep) { return Row(y, keep, 0, n_); }

private:
    void Make(int32_t y, uint32_t* out, int32_t from, int32_t to)
    {
        if (from >= to) return;
        if (!enlarging_) {
            if (image_ != nullptr) {
                const auto* s = reinterpret_cast<const uint32_t*>(image_->constScanLine(y));
                for (int32_t i = from; i < to; ++i) out[i] = s[xs_.low[i]] | 0xFF000000u;
            } else {
                GatherBitmapRow(bitmap_, y, xs_.low.data() + from, to - from, out + from);
            }
            return;
        }
        const int32_t spanFrom = xs_.low[from], count = std::max(xs_.high[to - 1], xs_.low[to - 1]) - spanFrom + 1;
        const uint32_t* s = image_ != nullptr
                                ? reinterpret_cast<const uint32_t*>(image_->constScanLine(y)) + spanFrom
                                : BitmapRow(bitmap_, spanFrom, y, count, span_.data());
        for (int32_t i = from; i < to; ++i)
            out[i] = Blend(s[xs_.low[i] - spanFrom], s[xs_.high[i] - spanFrom], xs_.weight[i]);
    }

    const PlatformObject* bitmap_;
    const QImage* image_;
    const AxisSamples& xs_;
    int32_t n_;
    int32_t spanFrom_ = 0;
    bool enlarging_ = false;
    std::vector<uint32_t> span_;
    std::vector<uint32_t> rows_[2];
    int32_t made_[2] = {-1, -1}, madeFrom_[2] = {0, 0}, madeTo_[2] = {0, 0};
};

// The last scaled picture made, kept in destination pixels relative to the
// destination rectangle's origin: a repaint of the same bitmap at the same scale,
// moved by whole pixels (the map following the position), copies what it has and
// samples only the edges that came into view. At most kMostKeptPixels.
constexpr int64_t kMostKeptPixels = 2'100'000;  // a full HD client: with the spare, under 16 MiB
struct ScaledPicture {
    std::vector<int64_t> key;  // source identity, rectangle sizes and origins, readable rows
    int64_t left = 0, top = 0;  // relative position of the picture's first pixel
    QImage pixels;             // Format_RGB32
};
ScaledPicture kept;
QImage spare;  // the picture before last, its memory used again for the next one

}  // namespace

int StretchTransfer(SurfaceHandle destination, int32_t x, int32_t y, int32_t width, int32_t height,
                    SurfaceHandle source, int32_t x0, int32_t y0, int32_t sourceWidth, int32_t sourceHeight,
                    uint32_t rop)
{
    if (destination == nullptr || width < 0 || height < 0 || sourceWidth < 0 || sourceHeight < 0) return 0;
    if (width == sourceWidth && height == sourceHeight)
        return BlockTransfer(destination, x, y, width, height, source, x0, y0, rop);
    if (rop == kRopBlackness || rop == kRopWhiteness)
        return BlockTransfer(destination, x, y, width, height, nullptr, 0, 0, rop);
    if (rop != kRopSourceAnd && rop != kRopSourceCopy && rop != kRopSourcePaint && rop != kRopSourceInvert) return 0;
    if (source == nullptr) return 0;

    // The source: a bitmap read in place stays where it is; anything else as an image.
    const PlatformObject* inPlace = nullptr;
    const QImage* image = nullptr;
    int32_t bitmapWidth = 0, bitmapHeight = 0;
    int32_t firstRow = 0, endRow = 0;  // source rows that can be read
    if (source->memory) RefreshBitmap(source->bitmap);
    if (source->memory && source->bitmap != nullptr && source->bitmap->mapped) {
        inPlace = source->bitmap;
        if (!BitmapDimensions(inPlace, &bitmapWidth, &bitmapHeight)) return 0;
        if (!BitmapReadableRows(inPlace, &firstRow, &endRow)) return 1;  // nothing left to draw
    } else {
        QImage* src = source->Target();
        if (src == nullptr || src->isNull()) return 0;
        if (src->format() != QImage::Format_RGB32) *src = src->convertToFormat(QImage::Format_RGB32);
        image = src;
        bitmapWidth = src->width(), bitmapHeight = src->height();
        endRow = bitmapHeight;
    }
    // A paint surface whose erase is still due is filled only around what the
    // transfer covers; an AND over that white is a copy.
    const bool eraseLater = !destination->memory && IsLiveWindow(destination->window) &&
                            destination->window->whitePending && (rop == kRopSourceAnd || rop == kRopSourceCopy);
    QImage* dst = eraseLater ? &destination->window->backBuffer : destination->Target();
    if (dst == nullptr || dst->isNull()) return 0;
    if (dst->format() != QImage::Format_RGB32) *dst = dst->convertToFormat(QImage::Format_RGB32);
    if (width == 0 || height == 0 || sourceWidth == 0 || sourceHeight == 0) return 1;

    // The destination rectangle clipped to the surface, then to the run over the bitmap.
    const int64_t left = std::max<int64_t>(x, 0), right = std::min<int64_t>(int64_t{x} + width, dst->width());
    const int64_t top = std::max<int64_t>(y, 0), bottom = std::min<int64_t>(int64_t{y} + height, dst->height());
    if (left >= right || top >= bottom) return 1;
    const AxisSamples xs = SampleAxis(left, right, x, width, x0, sourceWidth, 0, bitmapWidth);
    const AxisSamples ys = SampleAxis(top, bottom, y, height, y0, sourceHeight, firstRow, endRow);
    const int64_t n = xs.end - xs.first;
    if (n <= 0 || ys.end <= ys.first) return 1;
    if (eraseLater && EraseAround(destination, xs.first, ys.first, xs.end, ys.end)) rop = kRopSourceCopy;

    RowMaker maker(inPlace, image, xs);
    std::vector<uint32_t> blended(static_cast<size_t>(n));
    // Destination row index k resampled for indices [from, to) into out.
    auto resample = [&](size_t k, int32_t from, int32_t to, uint32_t* out) {
        const uint32_t* line = maker.Row(ys.low[k], -1, from, to);
        if (ys.weight[k] == 0) return std::copy(line + from, line + to, out + from), void();
        const uint32_t* below = maker.Row(ys.high[k], ys.low[k], from, to);
        for (int32_t i = from; i < to; ++i) out[i] = Blend(line[i], below[i], ys.weight[k]);
    };
    const int64_t rows = ys.end - ys.first;
    const std::vector<int64_t> key{inPlace != nullptr ? int64_t(inPlace->mapped->serial)
                                                      : int64_t(image->cacheKey()),
                                   width, height, x0, y0, sourceWidth, sourceHeight, firstRow, endRow, bitmapWidth};
    const bool keep = n * rows <= kMostKeptPixels;
    const int64_t relLeft = xs.first - x, relTop = ys.first - y;  // the picture's place, relative
    // The same picture again: drawn from what is kept, nothing sampled or copied twice.
    const bool same = keep && kept.key == key && kept.left == relLeft && kept.top == relTop &&
                      kept.pixels.width() == n && kept.pixels.height() == rows;
    QImage picture;
    if (keep && !same) {
        const QSize size(static_cast<int>(n), static_cast<int>(rows));
        picture = spare.size() == size && spare.isDetached() ? std::move(spare) : QImage(size, QImage::Format_RGB32);
        spare = QImage();
    }
    const bool reuse = !picture.isNull() && kept.key == key;
    const int64_t keptRight = kept.left + kept.pixels.width(), keptBottom = kept.top + kept.pixels.height();
    const int64_t fromCol = reuse ? std::clamp(kept.left - relLeft, int64_t{0}, n) : 0;
    const int64_t toCol = reuse ? std::clamp(keptRight - relLeft, fromCol, n) : 0;
    uchar* const bits = dst->bits();
    const qsizetype perLine = dst->bytesPerLine();
    // A file cut short during the rows ends the transfer: what is drawn stays.
    volatile int64_t reached = ys.first;  // the row being drawn when a cut ends the transfer
    const bool whole = GuardedRead([&] {
    for (int64_t row = ys.first; row < ys.end; ++row) {
        reached = row;
        const size_t k = static_cast<size_t>(row - ys.first);
        uint32_t* line = picture.isNull() ? blended.data() : reinterpret_cast<uint32_t*>(picture.scanLine(int(k)));
        const int64_t rel = relTop + int64_t(k);
        if (same) {
            line = reinterpret_cast<uint32_t*>(kept.pixels.scanLine(int(k)));
        } else if (reuse && fromCol < toCol && rel >= kept.top && rel < keptBottom) {
            const auto* old = reinterpret_cast<const uint32_t*>(kept.pixels.constScanLine(int(rel - kept.top)));
            std::copy(old + (relLeft + fromCol - kept.left), old + (relLeft + toCol - kept.left), line + fromCol);
            resample(k, 0, int32_t(fromCol), line);
            resample(k, int32_t(toCol), int32_t(n), line);
        } else {
            resample(k, 0, int32_t(n), line);
        }
        auto* d = reinterpret_cast<uint32_t*>(bits + row * perLine) + xs.first;
        CombineRow(rop, line, d, n);
    }
    });
    if (keep && whole && !picture.isNull()) {
        spare = std::move(kept.pixels);
        kept = ScaledPicture{key, relLeft, relTop, std::move(picture)};
    }
    if (!whole) kept = ScaledPicture{}, spare = QImage();
    if (!whole) {
        SayCutDuringRead(inPlace);
        if (rop == kRopSourceCopy)  // what it did not reach stays as white as the erase left it
            for (int64_t row = reached; row < ys.end; ++row) {
                auto* d = reinterpret_cast<uint32_t*>(bits + row * perLine);
                std::fill(d + xs.first, d + xs.end, 0xFFFFFFFFu);
            }
    }
    return 1;
}

// ---- Colour filters ----------------------------------------------------------------------------

int FilterSurface(SurfaceHandle surface, const Rect* rect, uint32_t filter)
{
    if (surface == nullptr || rect == nullptr || (filter != kFilterDim && filter != kFilterNight)) return 0;
    QImage* target = surface->Target();
    if (target == nullptr || target->isNull()) return 0;
    if (target->format() != QImage::Format_RGB32) *target = target->convertToFormat(QImage::Format_RGB32);
    const int64_t left = std::max<int64_t>(rect->left, 0), right = std::min<int64_t>(rect->right, target->width());
    const int64_t top = std::max<int64_t>(rect->top, 0), bottom = std::min<int64_t>(rect->bottom, target->height());
    for (int64_t row = top; row < bottom; ++row) {
        auto* p = reinterpret_cast<uint32_t*>(target->scanLine(static_cast<int>(row)));
        for (int64_t i = left; i < right; ++i) {
            const uint32_t c = p[i], r = c >> 16 & 0xFF, g = c >> 8 & 0xFF, b = c & 0xFF;
            const uint32_t grey = (77 * r + 150 * g + 29 * b) >> 8;  // luma, weights / 256
            if (filter == kFilterDim) {
                // Half way to grey, then to 70 %: white reads 179, black stays black.
                p[i] = 0xFF000000u | ((r + grey) * 45 >> 7) << 16 | ((g + grey) * 45 >> 7) << 8 | ((b + grey) * 45 >> 7);
            } else {
                // Brightness kept as a dark red: white reads (160, 24, 16), black stays black.
                p[i] = 0xFF000000u | (grey * 160 >> 8) << 16 | (grey * 24 >> 8) << 8 | (grey * 16 >> 8);
            }
        }
    }
    return 1;
}
