// Bitmap files into bitmap objects. The format is decided by the first bytes,
// never by the name: BMP, PNG and JPEG only. An uncompressed BMP is mapped into
// memory and read in place, row by row, only where it is drawn; PNG, JPEG and
// run-length BMP are decoded whole by Qt's readers, up to kMaxDecodedPixels.
//
// Pixels read in place are exactly those Qt's BMP reader gives for the same file.
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/bmp_layout.h"
#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/qt/qt_handles.h"
#include "platform/qt/qt_internal.h"

// A BMP file mapped read-only, with its layout (what turns a row of it into
// 0xFFRRGGBB pixels). The descriptor stays open so that a file cut short after
// opening is noticed before its pages are read.
struct MappedBitmap : BmpLayout {
    int fd = -1;
    const uint8_t* bytes = nullptr;  // the whole file
    size_t size = 0;                 // bytes mapped
    mutable std::atomic<bool> painted{false};  // the first transfer asks for all its rows at once

    ~MappedBitmap()
    {
        if (bytes != nullptr) munmap(const_cast<uint8_t*>(bytes), size);
        if (fd >= 0) close(fd);
    }
    const uint8_t* Row(int64_t y) const { return bytes + pixelStart + (topDown ? y : height - 1 - y) * stride; }
};

namespace {

constexpr int64_t kMaxDecodedPixels = 150'000'000;  // 600 MB of 32-bit pixels for an image decoded whole
constexpr int kAllocationLimitMb = 600;              // Qt's readers stop above this, MB
constexpr int64_t kRowByRowStride = 32 * 1024;       // bytes: wider rows are read page by page, no read-ahead
constexpr int32_t kRowsAhead = 2;                   // rows fetched ahead of the one converted

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

// Image of a reader into Format_RGB32; transparent parts become white, the colour
// that leaves the view's background as it is.
QImage Flatten(const QImage& image)
{
    if (!image.hasAlphaChannel()) return image.convertToFormat(QImage::Format_RGB32);
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter p(&flat);
    p.drawImage(0, 0, image);
    p.end();
    return flat;
}

// The whole file through Qt's reader for format, within the pixel cap, which is
// checked on the size the reader reports before anything is decoded.
QImage DecodeWhole(const uint8_t* bytes, size_t size, const char* format, const std::string& host)
{
    QImageReader::setAllocationLimit(kAllocationLimitMb);
    QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes), static_cast<qsizetype>(size));
    QBuffer buffer(&data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAutoDetectImageFormat(false);
    const QSize declared = reader.size();
    if (!declared.isValid()) {
        VerboseLine("map bitmap %s: refused: %s header unreadable (%s)", host.c_str(), format,
                    reader.errorString().toUtf8().constData());
        return QImage();
    }
    if (static_cast<int64_t>(declared.width()) * declared.height() > kMaxDecodedPixels) {
        VerboseLine("map bitmap %s: refused: %s of %d x %d pixels, over the %lld pixels an image decoded whole may have",
                    host.c_str(), format, declared.width(), declared.height(), static_cast<long long>(kMaxDecodedPixels));
        return QImage();
    }
    const QImage image = reader.read();
    if (image.isNull()) {
        VerboseLine("map bitmap %s: refused: %s not decoded (%s)", host.c_str(), format,
                    reader.errorString().toUtf8().constData());
        return QImage();
    }
    return Flatten(image);
}

// The format by the first bytes: "bmp", "png", "jpeg", or nullptr.
const char* FormatOfContent(const uint8_t* f, size_t size)
{
    static const uint8_t png[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (size >= 2 && f[0] == 'B' && f[1] == 'M') return "bmp";
    if (size >= 8 && std::memcmp(f, png, 8) == 0) return "png";
    if (size >= 3 && f[0] == 0xFF && f[1] == 0xD8 && f[2] == 0xFF) return "jpeg";
    return nullptr;
}

BitmapHandle NewBitmap(QImage image, std::shared_ptr<const MappedBitmap> mapped)
{
    auto* bitmap = new PlatformObject;
    bitmap->type = PlatformObject::Bitmap;
    bitmap->image = std::move(image);
    bitmap->mapped = std::move(mapped);
    return bitmap;
}

}  // namespace

BitmapHandle LoadBitmapFile(const char16_t* devicePath)
{
    if (devicePath == nullptr || *devicePath == 0) return nullptr;
    const std::string host = DevicePathToHost(devicePath);
    const char* path = host.c_str();
    // Opened once, without blocking (a FIFO would wait for a writer), and used
    // only as a regular file; everything after reads through this descriptor.
    auto m = std::make_shared<MappedBitmap>();
    m->fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (m->fd < 0) return VerboseLine("map bitmap %s: not loaded: %s", path, std::strerror(errno)), nullptr;
    struct stat info {};
    if (fstat(m->fd, &info) != 0 || !S_ISREG(info.st_mode))
        return VerboseLine("map bitmap %s: refused: not a regular file", path), nullptr;
    if (info.st_size <= 0 || static_cast<uint64_t>(info.st_size) > SIZE_MAX)
        return VerboseLine("map bitmap %s: refused: empty file", path), nullptr;
    m->size = static_cast<size_t>(info.st_size);
    void* bytes = mmap(nullptr, m->size, PROT_READ, MAP_SHARED, m->fd, 0);
    if (bytes == MAP_FAILED) return VerboseLine("map bitmap %s: not loaded: %s", path, std::strerror(errno)), nullptr;
    m->bytes = static_cast<const uint8_t*>(bytes);

    const char* format = FormatOfContent(m->bytes, m->size);
    if (format == nullptr) return VerboseLine("map bitmap %s: refused: not a BMP, PNG or JPEG file", path), nullptr;
    if (std::strcmp(format, "bmp") == 0) {
        const char* why = "";
        switch (ReadBmpLayout(m->bytes, static_cast<int64_t>(m->size), m.get(), &why)) {
        case BmpRoute::Refused: return VerboseLine("map bitmap %s: refused: %s", path, why), nullptr;
        case BmpRoute::DecodeWhole: break;
        case BmpRoute::InPlace:
            if (m->stride >= kRowByRowStride) madvise(bytes, m->size, MADV_RANDOM);
            VerboseLine("map bitmap %s: BMP %d x %d pixels, %d bits, read in place (%lld bytes mapped)", path,
                        m->width, m->height, m->bits, static_cast<long long>(m->size));
            return NewBitmap(QImage(), std::move(m));
        }
    }
    QImage image = DecodeWhole(m->bytes, m->size, format, host);
    if (image.isNull()) return nullptr;
    VerboseLine("map bitmap %s: %s %d x %d pixels, decoded whole", path, format, image.width(), image.height());
    return NewBitmap(std::move(image), nullptr);
}

bool BitmapDimensions(const PlatformObject* bitmap, int32_t* width, int32_t* height)
{
    *width = *height = 0;
    if (bitmap == nullptr || bitmap->type != PlatformObject::Bitmap) return false;
    if (bitmap->mapped) return *width = bitmap->mapped->width, *height = bitmap->mapped->height, true;
    if (bitmap->image.isNull()) return false;
    return *width = bitmap->image.width(), *height = bitmap->image.height(), true;
}

bool BitmapReadable(const PlatformObject* bitmap)
{
    if (bitmap == nullptr || bitmap->type != PlatformObject::Bitmap) return false;
    if (!bitmap->mapped) return !bitmap->image.isNull();
    // Pages past the end of a file cut short since it was mapped cannot be read.
    const MappedBitmap& m = *bitmap->mapped;
    struct stat info {};
    if (fstat(m.fd, &info) == 0 && info.st_size >= m.pixelStart + m.stride * m.height) return true;
    VerboseLine("map bitmap: its file was cut short while in use; not drawn");
    return false;
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
    if (static_cast<int64_t>(m.width) * m.height > kMaxDecodedPixels || !BitmapReadable(bitmap)) return false;
    QImage image(m.width, m.height, QImage::Format_RGB32);
    if (image.isNull()) return false;
    for (int32_t y = 0; y < m.height; ++y)
        ConvertSpan<false>(m, m.Row(y), 0, m.width, reinterpret_cast<uint32_t*>(image.scanLine(y)));
    bitmap->image = std::move(image);
    bitmap->mapped.reset();
    return true;
}
