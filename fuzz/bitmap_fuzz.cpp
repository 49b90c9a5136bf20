// Fuzz target: bitmap file bytes through the real loader (content check, BMP
// header check, mapping, Qt's PNG, JPEG and BMP readers), written to a file and
// loaded by its device path. A BMP read in place must give exactly the pixels Qt's
// BMP reader gives for the same bytes, over whole rows and a part of each; traps otherwise.
#include <QBuffer>
#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QtGlobal>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "platform/files.h"
#include "platform/qt/qt_internal.h"

namespace {

// Images decoded whole take their full size in memory and seconds to decode; a
// run skips those declaring more than this (the loader's own cap lies far above).
constexpr int64_t kMostPixelsDecoded = 4'000'000;
constexpr int64_t kLoaderCap = 150'000'000;  // pixels, the loader's cap for images decoded whole

std::string folder;

QImage QtPixels(QByteArray& bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "bmp");
    reader.setAutoDetectImageFormat(false);
    const QImage image = reader.read();
    if (image.isNull() || !image.hasAlphaChannel()) return image.convertToFormat(QImage::Format_RGB32);
    QImage flat(image.size(), QImage::Format_RGB32);
    flat.fill(Qt::white);
    QPainter p(&flat);
    p.drawImage(0, 0, image);
    return flat;
}

int64_t DeclaredPixels(QByteArray& bytes)
{
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const QSize size = QImageReader(&buffer).size();
    return size.isValid() ? int64_t{size.width()} * size.height() : 0;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});  // readers' complaints
    static int argc = 1;
    static char name[] = "bitmap_fuzz";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv);  // lives for the whole run
    std::string pattern = (std::filesystem::temp_directory_path() / "velkar-bitmap-fuzz-XXXXXX").string();
    folder = mkdtemp(pattern.data()) != nullptr ? pattern : std::string("/tmp");
    SetDeviceRoot(folder);
    std::atexit([] { std::error_code ec; std::filesystem::remove_all(folder, ec); });
    // Load the image plugins once, so that what they keep is not taken for a leak of one input.
    for (const char* format : {"png", "jpeg", "bmp"}) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QImage(2, 2, QImage::Format_RGB32).save(&buffer, format);
        buffer.close();
        DeclaredPixels(bytes);
        QtPixels(bytes);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const int64_t declared = DeclaredPixels(bytes);
    if (declared > kMostPixelsDecoded && declared <= kLoaderCap) return 0;
    std::ofstream(folder + "/map.bmp", std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));

    PlatformObject* bitmap = LoadBitmapFile(u"\\map.bmp");
    if (bitmap == nullptr) return 0;
    int32_t w = 0, h = 0;
    if (!BitmapDimensions(bitmap, &w, &h) || w <= 0 || h <= 0) __builtin_trap();
    if (bitmap->mapped) {
        const QImage expected = QtPixels(bytes);
        if (expected.isNull() || expected.width() != w || expected.height() != h) __builtin_trap();
        std::vector<uint32_t> scratch(static_cast<size_t>(w));
        for (int32_t y = 0; y < h; ++y) {
            const auto* want = reinterpret_cast<const uint32_t*>(expected.constScanLine(y));
            const uint32_t* row = BitmapRow(bitmap, 0, y, w, scratch.data());
            for (int32_t x = 0; x < w; ++x)
                if (row[x] != want[x]) __builtin_trap();
            const int32_t from = w / 3;
            row = BitmapRow(bitmap, from, y, w - from, scratch.data());
            for (int32_t x = from; x < w; ++x)
                if (row[x - from] != want[x]) __builtin_trap();
        }
    } else if (bitmap->image.format() != QImage::Format_RGB32 || int64_t{w} * h > kLoaderCap) {
        __builtin_trap();
    }
    delete bitmap;  // as DeleteObject releases a bitmap
    return 0;
}
