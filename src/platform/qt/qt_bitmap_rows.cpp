// Rows of bitmap objects as 0xFFRRGGBB pixels: spans, single samples and ANDed
// spans of a BMP read in place (only the bytes asked for are touched) or of a
// decoded image, and the decoding of a mapped BMP whole. Pixels read in place are
// exactly those Qt's BMP reader gives for the same file.
#include <QImage>
#include <QtEndian>

#include <cstdint>
#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

#include "platform/qt/qt_bitmap_file.h"
#include "platform/qt/qt_internal.h"

namespace {

constexpr int32_t kRowsAhead = 2;  // rows fetched ahead of the one converted

// Rows of blue, green, red bytes into 0xFFRRGGBB, eight pixels a step through one
// byte shuffle (AVX2 or SSSE3 where the processor has it); the last pixels one by
// one, so that no load reaches past the span's own bytes.
using Bytes16 = uint8_t __attribute__((vector_size(16)));
using Bytes32 = uint8_t __attribute__((vector_size(32)));
using Words8 = uint32_t __attribute__((vector_size(32)));
constexpr Words8 kOpaque8 = {0xFF000000u, 0xFF000000u, 0xFF000000u, 0xFF000000u,
                             0xFF000000u, 0xFF000000u, 0xFF000000u, 0xFF000000u};

// The AVX2, SSSE3 and plain versions are chosen by the loader (an ifunc). Not under
// ThreadSanitizer: its runtime is not ready when the loader runs the chooser.
#if defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define VELKAR_NO_ROW_CLONES 1
#endif
#endif
// Eight pixels' blue, green, red bytes (24 of the 28 at p) spread over eight words
// with an opaque fourth byte. Each 16-byte half is shuffled within itself, as one
// AVX2 byte shuffle does. Given back through a pointer: a 32-byte vector returned
// would change the ABI.
__attribute__((always_inline)) inline void SpreadBgr8(const uint8_t* p, Words8* pixels)
{
    Bytes16 low, high;
    std::memcpy(&low, p, 16);
    std::memcpy(&high, p + 12, 16);
    const Bytes32 spread = __builtin_shufflevector(low, high, 0, 1, 2, 2, 3, 4, 5, 5, 6, 7, 8, 8, 9, 10, 11, 11,  //
                                   16, 17, 18, 18, 19, 20, 21, 21, 22, 23, 24, 24, 25, 26, 27, 27);
    *pixels = reinterpret_cast<Words8>(spread) | kOpaque8;
}

#if defined(__x86_64__) && !defined(__SANITIZE_THREAD__) && !defined(VELKAR_NO_ROW_CLONES)
#define RowClones __attribute__((target_clones("avx2", "ssse3", "default")))
#else
#define RowClones
#endif

RowClones void CopyBgrSpan(const uint8_t* p, int64_t n, uint32_t* out)
{
    int64_t i = 0;
    for (; i + 11 <= n; i += 8) {  // two loads of 16 bytes, 24 used
        Words8 pixels;
        SpreadBgr8(p + 3 * i, &pixels);
        std::memcpy(out + i, &pixels, 32);
    }
    for (; i < n; ++i) out[i] = 0xFF000000u | p[3 * i + 2] << 16 | p[3 * i + 1] << 8 | p[3 * i];
}

RowClones void AndBgrSpan(const uint8_t* p, int64_t n, uint32_t* out)
{
    int64_t i = 0;
    for (; i + 11 <= n; i += 8) {
        Words8 pixels, below;
        SpreadBgr8(p + 3 * i, &pixels);
        std::memcpy(&below, out + i, 32);
        pixels &= below;
        std::memcpy(out + i, &pixels, 32);
    }
    for (; i < n; ++i) out[i] &= 0xFF000000u | p[3 * i + 2] << 16 | p[3 * i + 1] << 8 | p[3 * i];
}

// A pixel given as alpha, red, green, blue, laid over white as QPainter lays a
// non-premultiplied image over an opaque one.
uint32_t OverWhite(uint32_t argb)
{
    const uint32_t premultiplied = qPremultiply(argb);
    const uint32_t rest = 255 - qAlpha(argb);  // what white adds to each channel
    return 0xFF000000u | (((premultiplied >> 16) & 0xFF) + rest) << 16 | (((premultiplied >> 8) & 0xFF) + rest) << 8 |
           ((premultiplied & 0xFF) + rest);
}

// Pixels x .. x + n - 1 of a row as 0xFFRRGGBB into out, or (And) ANDed into it.
template <bool And>
void ConvertSpan(const MappedBitmap& m, const uint8_t* row, int64_t x, int64_t n, uint32_t* out)
{
    auto put = [](uint32_t* to, uint32_t pixel) {
        if constexpr (And)
            *to &= pixel;
        else
            *to = pixel;
    };
    switch (m.bits) {
    case 1:
        for (int64_t i = 0; i < n; ++i) {
            const int64_t c = x + i;
            put(out + i, m.palette[(row[c >> 3] >> (7 - (c & 7))) & 1]);
        }
        return;
    case 4:
        for (int64_t i = 0; i < n; ++i) {
            const int64_t c = x + i;
            put(out + i, m.palette[(c & 1) != 0 ? row[c >> 1] & 0x0F : row[c >> 1] >> 4]);
        }
        return;
    case 8:
        for (int64_t i = 0; i < n; ++i) put(out + i, m.palette[row[x + i]]);
        return;
    default: break;
    }
    const int bytes = m.bits / 8;
    const uint8_t* p = row + x * bytes;
    if (m.plain && bytes == 3 && qFromLittleEndian(uint32_t{1}) == 1) {
        if constexpr (And)
            AndBgrSpan(p, n, out);
        else
            CopyBgrSpan(p, n, out);
        return;
    }
    if (m.plain) {
        // Blue, green, red in the low three bytes of a 4-byte load; the fourth byte
        // (the next pixel's, or unused) gives way to the opaque alpha. The last
        // 24-bit pixel is read byte by byte: 4 bytes could run past the file.
        const int64_t wordLoads = bytes == 4 ? n : n - 1;
        for (int64_t i = 0; i < wordLoads; ++i, p += bytes) {
            uint32_t v;
            std::memcpy(&v, p, 4);
            put(out + i, qFromLittleEndian(v) | 0xFF000000u);
        }
        if (wordLoads < n) put(out + n - 1, 0xFF000000u | p[2] << 16 | p[1] << 8 | p[0]);
        return;
    }
    for (int64_t i = 0; i < n; ++i, p += bytes) {
        uint32_t c = p[0] | p[1] << 8;
        if (bytes == 4) c |= static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
        uint32_t channel[4];
        for (int k = 0; k < 4; ++k) channel[k] = (((c & m.mask[k]) >> m.shift[k]) * m.scale[k]) & 0xFF;
        const uint32_t argb = (m.alpha ? channel[3] : 0xFFu) << 24 | channel[0] << 16 | channel[1] << 8 | channel[2];
        put(out + i, m.alpha ? OverWhite(argb) : argb);
    }
}

// Pixels at the given columns of a row as 0xFFRRGGBB into out: the samples of a
// reduction, each read alone, so that the cost follows the count, not the span.
void GatherSpan(const MappedBitmap& m, const uint8_t* row, const int32_t* columns, int64_t n, uint32_t* out)
{
    switch (m.bits) {
    case 1:
        for (int64_t i = 0; i < n; ++i) out[i] = m.palette[(row[columns[i] >> 3] >> (7 - (columns[i] & 7))) & 1];
        return;
    case 4:
        for (int64_t i = 0; i < n; ++i) {
            const int32_t c = columns[i];
            out[i] = m.palette[(c & 1) != 0 ? row[c >> 1] & 0x0F : row[c >> 1] >> 4];
        }
        return;
    case 8:
        for (int64_t i = 0; i < n; ++i) out[i] = m.palette[row[columns[i]]];
        return;
    default: break;
    }
    if (m.plain) {
        const int bytes = m.bits / 8;
        for (int64_t i = 0; i < n; ++i) {
            const uint8_t* p = row + int64_t{columns[i]} * bytes;
            out[i] = 0xFF000000u | p[2] << 16 | p[1] << 8 | p[0];
        }
        return;
    }
    for (int64_t i = 0; i < n; ++i) ConvertSpan<false>(m, row, columns[i], 1, out + i);
}

}  // namespace

bool BitmapDimensions(const PlatformObject* bitmap, int32_t* width, int32_t* height)
{
    *width = *height = 0;
    if (bitmap == nullptr || bitmap->type != PlatformObject::Bitmap) return false;
    if (bitmap->mapped) return *width = bitmap->mapped->width, *height = bitmap->mapped->height, true;
    if (bitmap->image.isNull()) return false;
    return *width = bitmap->image.width(), *height = bitmap->image.height(), true;
}

namespace {

// Fetches the span of a row a few ahead of y: rows lie far apart in the file, and
// a transfer goes down them in order.
void FetchAhead(const MappedBitmap& m, int64_t x, int64_t y, int64_t count)
{
    if (y + kRowsAhead >= m.height) return;
    const uint8_t* ahead = m.Row(y + kRowsAhead) + x * m.bits / 8;
    for (int64_t at = 0; at < count * m.bits / 8 + 64; at += 64) __builtin_prefetch(ahead + at);
}

}  // namespace

const uint32_t* BitmapRow(const PlatformObject* bitmap, int32_t x, int32_t y, int32_t count, uint32_t* scratch)
{
    if (!bitmap->mapped) return reinterpret_cast<const uint32_t*>(bitmap->image.constScanLine(y)) + x;
    const MappedBitmap& m = *bitmap->mapped;
    ConvertSpan<false>(m, m.Row(y), x, count, scratch);
    FetchAhead(m, x, y, count);
    return scratch;
}

void PrepareBitmapRows(const PlatformObject* bitmap, int32_t x, int32_t y, int32_t count, int32_t rows)
{
    if (!bitmap->mapped || bitmap->mapped->painted.exchange(true)) return;
    // A map just opened is likely not in memory: every visible row's span is asked
    // for at once, so that the reads from the disk overlap instead of following
    // one another, row by row, as the transfer reaches them.
    const MappedBitmap& m = *bitmap->mapped;
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    for (int32_t r = 0; r < rows; ++r) {
        const auto from = reinterpret_cast<uintptr_t>(m.Row(int64_t{y} + r) + int64_t{x} * m.bits / 8) & ~(page - 1);
        const auto to = reinterpret_cast<uintptr_t>(m.Row(int64_t{y} + r) + (int64_t{x} + count) * m.bits / 8 + 1);
        madvise(reinterpret_cast<void*>(from), to - from, MADV_WILLNEED);
    }
}

void AndBitmapRow(const PlatformObject* bitmap, int32_t x, int32_t y, int32_t count, uint32_t* destination)
{
    if (!bitmap->mapped) {
        const auto* s = reinterpret_cast<const uint32_t*>(bitmap->image.constScanLine(y)) + x;
        for (int32_t i = 0; i < count; ++i) destination[i] &= s[i] | 0xFF000000u;
        return;
    }
    const MappedBitmap& m = *bitmap->mapped;
    ConvertSpan<true>(m, m.Row(y), x, count, destination);
    FetchAhead(m, x, y, count);
}

void GatherBitmapRow(const PlatformObject* bitmap, int32_t y, const int32_t* columns, int32_t count, uint32_t* out)
{
    if (!bitmap->mapped) {
        const auto* s = reinterpret_cast<const uint32_t*>(bitmap->image.constScanLine(y));
        for (int32_t i = 0; i < count; ++i) out[i] = s[columns[i]] | 0xFF000000u;
        return;
    }
    const MappedBitmap& m = *bitmap->mapped;
    GatherSpan(m, m.Row(y), columns, count, out);
}

bool DecodeBitmapWhole(PlatformObject* bitmap)
{
    if (bitmap == nullptr || !bitmap->mapped) return bitmap != nullptr && !bitmap->image.isNull();
    const MappedBitmap& m = *bitmap->mapped;
    int32_t first = 0, end = 0;
    if (static_cast<int64_t>(m.width) * m.height > kMaxDecodedPixels || !BitmapReadableRows(bitmap, &first, &end))
        return false;
    QImage image(m.width, m.height, QImage::Format_RGB32);
    if (image.isNull()) return false;
    image.fill(Qt::white);  // rows the file no longer holds
    uchar* const bits = image.bits();
    const qsizetype perLine = image.bytesPerLine();
    GuardedRead([&] {
        for (int32_t y = first; y < end; ++y)
            ConvertSpan<false>(m, m.Row(y), 0, m.width, reinterpret_cast<uint32_t*>(bits + y * perLine));
    });
    bitmap->image = std::move(image);
    bitmap->mapped.reset();
    return true;
}
