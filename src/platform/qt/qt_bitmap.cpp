// Bitmap files into bitmap objects. The format is decided by the first bytes,
// never by the name: BMP, PNG and JPEG only. An uncompressed BMP is mapped into
// memory and read in place, row by row, only where it is drawn; PNG, JPEG and
// run-length BMP are decoded whole by Qt's readers, up to kMaxDecodedPixels.
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
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
#include "platform/qt/qt_bitmap_file.h"
#include "platform/qt/qt_handles.h"
#include "platform/qt/qt_internal.h"

namespace {


constexpr int kAllocationLimitMb = 600;              // Qt's readers stop above this, MB
constexpr int64_t kRowByRowStride = 32 * 1024;       // bytes: wider rows are read page by page, no read-ahead

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

BitmapHandle NewBitmap(QImage image, std::shared_ptr<const MappedBitmap> mapped, const std::string& host,
                       const struct stat& info)
{
    auto* bitmap = new PlatformObject;
    bitmap->type = PlatformObject::Bitmap;
    bitmap->image = std::move(image);
    bitmap->mapped = std::move(mapped);
    auto file = std::make_shared<BitmapFile>();
    file->path = host;
    file->device = info.st_dev, file->inode = info.st_ino, file->size = info.st_size;
    file->modifiedNs = int64_t{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
    bitmap->file = std::move(file);
    return bitmap;
}

}  // namespace

MappedBitmap::~MappedBitmap()
{
    if (bytes != nullptr) munmap(const_cast<uint8_t*>(bytes), size);
    if (fd >= 0) close(fd);
}

BitmapHandle LoadBitmapFile(const char16_t* devicePath)
{
    if (devicePath == nullptr || *devicePath == 0) return nullptr;
    return LoadBitmapHost(DevicePathToHost(devicePath));
}

PlatformObject* LoadBitmapHost(const std::string& host)
{
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
            return NewBitmap(QImage(), std::move(m), host, info);
        }
    }
    QImage image = DecodeWhole(m->bytes, m->size, format, host);
    if (image.isNull()) return nullptr;
    VerboseLine("map bitmap %s: %s %d x %d pixels, decoded whole", path, format, image.width(), image.height());
    return NewBitmap(std::move(image), nullptr, host, info);
}

