// Bitmap files into bitmap objects (pixels as Format_RGB32). Uncompressed and
// bit-field BMP files of 1, 4, 8, 16, 24 and 32 bits, bottom-up or top-down, are
// read here row by row after their header has been checked against the file's
// size; other BMP kinds (RLE, OS/2), PNG and JPEG go through Qt's image readers.
//
// BMP layout read here (little-endian):
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

// One colour channel described by a bit mask, scaled to 0..255.
struct Channel {
    uint32_t mask = 0;
    int shift = 0;
    uint32_t max = 0;
    explicit Channel(uint32_t m = 0) : mask(m)
    {
        if (m == 0) return;
        shift = std::countr_zero(m);
        const uint32_t bits = m >> shift;
        max = bits;
    }
    uint32_t Of(uint32_t pixel) const
    {
        if (max == 0) return 0;
        const uint64_t v = (pixel & mask) >> shift;
        return static_cast<uint32_t>(v * 255 / max);
    }
};

enum class BmpResult { Loaded, NotHandled, Broken };

// Reads the BMP kinds handled here into image. NotHandled: a valid kind left to
// Qt's reader; Broken: a header that lies or a file cut short.
BmpResult ReadBmp(std::FILE* file, int64_t fileSize, QImage* image)
{
    uint8_t head[14 + 124 + 12] = {};
    if (fileSize < 14 + 40) return BmpResult::Broken;
    const size_t headRead = std::fread(head, 1, sizeof head < static_cast<uint64_t>(fileSize) ? sizeof head : static_cast<size_t>(fileSize), file);
    if (headRead < 14 + 40) return BmpResult::Broken;
    if (head[0] != 'B' || head[1] != 'M') return BmpResult::NotHandled;
    const uint32_t offBits = U32(head + 10);
    const uint32_t headerSize = U32(head + 14);
    if (headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 && headerSize != 124)
        return headerSize == 12 || headerSize == 64 ? BmpResult::NotHandled : BmpResult::Broken;
    if (14 + static_cast<int64_t>(headerSize) > fileSize) return BmpResult::Broken;
    const int32_t width = static_cast<int32_t>(U32(head + 18));
    const int32_t rawHeight = static_cast<int32_t>(U32(head + 22));
    const uint16_t bits = U16(head + 28);
    const uint32_t compression = U32(head + 30);
    const uint32_t coloursUsed = U32(head + 46);
    if (compression != kBiRgb && compression != kBiBitFields) return BmpResult::NotHandled;
    if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN) return BmpResult::Broken;
    const bool topDown = rawHeight < 0;
    const int64_t height = topDown ? -static_cast<int64_t>(rawHeight) : rawHeight;
    if (static_cast<int64_t>(width) * height > kMaxPixels || width > 65535 || height > 65535) return BmpResult::Broken;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return BmpResult::Broken;
    if (compression == kBiBitFields && bits != 16 && bits != 32) return BmpResult::Broken;

    // Masks: inside a header of 52 bytes or more, else just after the header.
    Channel red, green, blue;
    if (compression == kBiBitFields) {
        const uint8_t* masks = head + 14 + 40;
        if (headerSize == 40 && 14 + 40 + 12 > fileSize) return BmpResult::Broken;
        red = Channel(U32(masks));
        green = Channel(U32(masks + 4));
        blue = Channel(U32(masks + 8));
    } else if (bits == 16) {
        red = Channel(0x7C00);
        green = Channel(0x03E0);
        blue = Channel(0x001F);
    }

    // Palette, padded with black so that any index reads a colour.
    std::vector<uint32_t> palette(256, 0xFF000000u);
    if (bits <= 8) {
        const uint32_t maxColours = 1u << bits;
        const uint32_t count = coloursUsed == 0 ? maxColours : coloursUsed;
        if (count > maxColours) return BmpResult::Broken;
        const int64_t paletteStart = 14 + static_cast<int64_t>(headerSize);
        if (paletteStart + 4 * static_cast<int64_t>(count) > fileSize) return BmpResult::Broken;
        if (std::fseek(file, static_cast<long>(paletteStart), SEEK_SET) != 0) return BmpResult::Broken;
        std::vector<uint8_t> entries(4 * static_cast<size_t>(count));
        if (std::fread(entries.data(), 1, entries.size(), file) != entries.size()) return BmpResult::Broken;
        for (uint32_t i = 0; i < count; ++i)
            palette[i] = 0xFF000000u | (entries[4 * i + 2] << 16) | (entries[4 * i + 1] << 8) | entries[4 * i];
    }

    const int64_t stride = ((static_cast<int64_t>(width) * bits + 31) / 32) * 4;
    if (offBits < 14 + headerSize || static_cast<int64_t>(offBits) + stride * height > fileSize)
        return BmpResult::Broken;

    QImage out(width, static_cast<int>(height), QImage::Format_RGB32);
    if (out.isNull()) return BmpResult::Broken;
    if (std::fseek(file, static_cast<long>(offBits), SEEK_SET) != 0) return BmpResult::Broken;
    std::vector<uint8_t> row(static_cast<size_t>(stride));
    for (int64_t r = 0; r < height; ++r) {
        if (std::fread(row.data(), 1, row.size(), file) != row.size()) return BmpResult::Broken;
        const int64_t y = topDown ? r : height - 1 - r;
        auto* d = reinterpret_cast<uint32_t*>(out.scanLine(static_cast<int>(y)));
        const uint8_t* s = row.data();
        switch (bits) {
        case 1:
            for (int32_t x = 0; x < width; ++x) d[x] = palette[(s[x >> 3] >> (7 - (x & 7))) & 1];
            break;
        case 4:
            for (int32_t x = 0; x < width; ++x) d[x] = palette[(s[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F];
            break;
        case 8:
            for (int32_t x = 0; x < width; ++x) d[x] = palette[s[x]];
            break;
        case 16:
            for (int32_t x = 0; x < width; ++x) {
                const uint32_t px = U16(s + 2 * x);
                d[x] = 0xFF000000u | (red.Of(px) << 16) | (green.Of(px) << 8) | blue.Of(px);
            }
            break;
        case 24:
            for (int32_t x = 0; x < width; ++x)
                d[x] = 0xFF000000u | (s[3 * x + 2] << 16) | (s[3 * x + 1] << 8) | s[3 * x];
            break;
        case 32:
            if (compression == kBiBitFields) {
                for (int32_t x = 0; x < width; ++x) {
                    const uint32_t px = U32(s + 4 * x);
                    d[x] = 0xFF000000u | (red.Of(px) << 16) | (green.Of(px) << 8) | blue.Of(px);
                }
            } else {
                for (int32_t x = 0; x < width; ++x)
                    d[x] = 0xFF000000u | (s[4 * x + 2] << 16) | (s[4 * x + 1] << 8) | s[4 * x];
            }
            break;
        }
    }
    *image = std::move(out);
    return BmpResult::Loaded;
}

// PNG, JPEG and the BMP kinds left over, through Qt's readers. Transparent parts
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

    QImage image;
    uint8_t magic[2] = {};
    const bool isBmp = std::fread(magic, 1, 2, file.get()) == 2 && magic[0] == 'B' && magic[1] == 'M';
    std::fseek(file.get(), 0, SEEK_SET);
    if (isBmp) {
        switch (ReadBmp(file.get(), size, &image)) {
        case BmpResult::Loaded: break;
        case BmpResult::Broken: return nullptr;
        case BmpResult::NotHandled:
            file.reset();
            image = ReadWithQt(host);
            break;
        }
    } else {
        file.reset();
        image = ReadWithQt(host);
    }
    if (image.isNull()) return nullptr;
    auto* bitmap = new PlatformObject;
    bitmap->type = PlatformObject::Bitmap;
    bitmap->image = std::move(image);
    return bitmap;
}
