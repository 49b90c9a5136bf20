// Bitmap files into bitmap objects (pixels as Format_RGB32), decoded by Qt's
// image readers: BMP of 1, 4, 8, 16, 24 and 32 bits, bottom-up or top-down, PNG
// and JPEG. A BMP header is first checked against the file's size, so that a
// header that lies or a file cut short gives no bitmap at all.
//
// BMP layout checked here (little-endian):
//   0  "BM"  2 file size  10 pixel-data offset
//   14 header size (40, 52, 56, 108 or 124)  18 width  22 height (< 0: top-down)
//   26 planes  28 bits per pixel  30 compression (0 none, 3 bit fields)
//   46 colours used; then the bit masks (compression 3, header of 40) and the
//   palette (4 bytes a colour: blue, green, red, unused) before the pixels.
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/qt/qt_handles.h"
#include "platform/qt/qt_internal.h"

namespace {

constexpr int64_t kMaxPixels = 150'000'000;   // 600 MB of 32-bit pixels: an 8000 x 8000 map is 64 M
constexpr int kAllocationLimitMb = 600;
constexpr uint32_t kBiRgb = 0, kBiBitFields = 3;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

enum class BmpResult { Readable, Broken };

// Checks a BMP header against the file before Qt's reader decodes it: sizes,
// depth, palette and pixel data must all lie inside the file. Broken: a header
// that lies or a file cut short. Kinds this check does not know (OS/2 headers,
// RLE) are left to the reader as they are.
BmpResult CheckBmpHeader(std::FILE* file, int64_t fileSize)
{
    uint8_t head[14 + 124 + 12] = {};
    if (fileSize < 14 + 40) return BmpResult::Broken;
    const size_t headRead = std::fread(head, 1, sizeof head < static_cast<uint64_t>(fileSize) ? sizeof head : static_cast<size_t>(fileSize), file);
    if (headRead < 14 + 40) return BmpResult::Broken;
    if (head[0] != 'B' || head[1] != 'M') return BmpResult::Readable;
    const uint32_t offBits = U32(head + 10);
    const uint32_t headerSize = U32(head + 14);
    if (headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 && headerSize != 124)
        return headerSize == 12 || headerSize == 64 ? BmpResult::Readable : BmpResult::Broken;
    if (14 + static_cast<int64_t>(headerSize) > fileSize) return BmpResult::Broken;
    const int32_t width = static_cast<int32_t>(U32(head + 18));
    const int32_t rawHeight = static_cast<int32_t>(U32(head + 22));
    const uint16_t bits = U16(head + 28);
    const uint32_t compression = U32(head + 30);
    const uint32_t coloursUsed = U32(head + 46);
    if (compression != kBiRgb && compression != kBiBitFields) return BmpResult::Readable;
    if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN) return BmpResult::Broken;
    const bool topDown = rawHeight < 0;
    const int64_t height = topDown ? -static_cast<int64_t>(rawHeight) : rawHeight;
    if (static_cast<int64_t>(width) * height > kMaxPixels || width > 65535 || height > 65535) return BmpResult::Broken;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return BmpResult::Broken;
    if (compression == kBiBitFields && bits != 16 && bits != 32) return BmpResult::Broken;
    // Bit masks after a 40-byte header must be there.
    if (compression == kBiBitFields && headerSize == 40 && 14 + 40 + 12 > fileSize) return BmpResult::Broken;

    // The palette must lie inside the file and hold no more colours than the depth allows.
    if (bits <= 8) {
        const uint32_t maxColours = 1u << bits;
        const uint32_t count = coloursUsed == 0 ? maxColours : coloursUsed;
        if (count > maxColours) return BmpResult::Broken;
        if (14 + static_cast<int64_t>(headerSize) + 4 * static_cast<int64_t>(count) > fileSize) return BmpResult::Broken;
    }

    const int64_t stride = ((static_cast<int64_t>(width) * bits + 31) / 32) * 4;
    if (offBits < 14 + headerSize || static_cast<int64_t>(offBits) + stride * height > fileSize)
        return BmpResult::Broken;

    return BmpResult::Readable;
}

// Any bitmap file, through Qt's readers. Transparent parts
// become white, the colour that leaves the view's background as it is.
QImage ReadWithQt(const std::string& hostPath)
{
    QImageReader::setAllocationLimit(kAllocationLimitMb);
    QImageReader reader(QString::fromStdString(hostPath));
    reader.setDecideFormatFromContent(true);
    QImage image = reader.read();
    if (image.isNull()) return QImage();
    if (image.hasAlphaChannel()) {
        QImage flat(image.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter p(&flat);
        p.drawImage(0, 0, image);
        p.end();
        return flat;
    }
    return image.convertToFormat(QImage::Format_RGB32);
}

}  // namespace

BitmapHandle LoadBitmapFile(const char16_t* devicePath)
{
    if (devicePath == nullptr || *devicePath == 0) return nullptr;
    const std::string host = DevicePathToHost(devicePath);
    File file(std::fopen(host.c_str(), "rb"));
    if (!file) return nullptr;
    if (std::fseek(file.get(), 0, SEEK_END) != 0) return nullptr;
    const long size = std::ftell(file.get());
    if (size <= 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) return nullptr;

    if (CheckBmpHeader(file.get(), size) == BmpResult::Broken) return nullptr;
    file.reset();
    QImage image = ReadWithQt(host);
    if (image.isNull()) return nullptr;
    auto* bitmap = new PlatformObject;
    bitmap->type = PlatformObject::Bitmap;
    bitmap->image = std::move(image);
    return bitmap;
}
