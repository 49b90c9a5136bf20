// The map's 24-bit BMP, written strip by strip from GDAL's pixels: bottom-up
// rows, blue-green-red, transparent or uncovered pixels over white.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "raster.h"
#include "raster_private.h"

namespace {

constexpr uint64_t kStripBytes = 16u << 20;  // pixels read from GDAL at a time
constexpr uint32_t kBmpHeaderBytes = 54;     // file header 14 + BITMAPINFOHEADER 40

}  // namespace

uint64_t BmpFileSize(int32_t widthPx, int32_t heightPx)
{
    const uint64_t stride = (uint64_t(widthPx) * 3 + 3) & ~uint64_t(3);
    return kBmpHeaderBytes + stride * uint64_t(heightPx);
}

namespace {

void PutLe32(unsigned char* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

int WriteAll(int fd, const unsigned char* data, size_t size, uint64_t offset)
{
    while (size > 0) {
        const ssize_t n = pwrite(fd, data, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;
        data += n;
        size -= static_cast<size_t>(n);
        offset += static_cast<uint64_t>(n);
    }
    return 1;
}

}  // namespace

// The file: BITMAPFILEHEADER "BM" size 0 54, BITMAPINFOHEADER 40 width height 1 24
// 0 imageSize 0 0 0 0, then rows bottom-up, blue-green-red, each padded to 4 bytes.
int WriteMapBmp(const MapRaster& raster, const std::string& hostPath, std::string* error)
{
    const MapRasterPrivate& p = *raster.p;
    const int32_t w = raster.widthPx;
    const int32_t h = raster.heightPx;
    const uint64_t stride = (uint64_t(w) * 3 + 3) & ~uint64_t(3);
    const uint64_t fileSize = BmpFileSize(w, h);

    const int fd = open(hostPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = "cannot create " + hostPath + ": " + std::strerror(errno);
        return 0;
    }
    auto fail = [&](const std::string& message) {
        *error = message;
        close(fd);
        unlink(hostPath.c_str());
        return 0;
    };
    const int reserved = posix_fallocate(fd, 0, static_cast<off_t>(fileSize));
    if (reserved != 0 && reserved != EOPNOTSUPP && reserved != EINVAL)
        return fail("cannot write " + hostPath + ": " + std::strerror(reserved));

    unsigned char header[kBmpHeaderBytes] = {'B', 'M'};
    PutLe32(header + 2, static_cast<uint32_t>(fileSize));
    PutLe32(header + 10, kBmpHeaderBytes);
    PutLe32(header + 14, 40);
    PutLe32(header + 18, static_cast<uint32_t>(w));
    PutLe32(header + 22, static_cast<uint32_t>(h));  // positive: bottom-up rows
    header[26] = 1;
    header[28] = 24;
    PutLe32(header + 34, static_cast<uint32_t>(stride * uint64_t(h)));
    if (!WriteAll(fd, header, sizeof header, 0)) return fail("cannot write " + hostPath + ": " + std::strerror(errno));

    const int bandCount = static_cast<int>(p.bands.size());
    const int colourCount = bandCount - p.hasAlpha;
    const uint64_t rowBytes = uint64_t(w) * uint64_t(bandCount);
    const int rowsPerStrip = static_cast<int>(std::clamp<uint64_t>(kStripBytes / rowBytes, 1, uint64_t(h)));
    std::vector<unsigned char> pixels(rowBytes * uint64_t(rowsPerStrip));
    std::vector<unsigned char> row(stride, 0);
    std::vector<int> bandMap = p.bands;
    for (int32_t y0 = 0; y0 < h; y0 += rowsPerStrip) {
        const int rows = std::min<int>(rowsPerStrip, h - y0);
        const CPLErr read = GDALDatasetRasterIO(p.view, GF_Read, 0, y0, w, rows, pixels.data(), w, rows, GDT_Byte,
                                                bandCount, bandMap.data(), bandCount,
                                                static_cast<GSpacing>(rowBytes), 1);
        if (read != CE_None) return fail("cannot read the raster's pixels: " + LastGdalError("GDAL failed"));
        for (int r = 0; r < rows; ++r) {
            const unsigned char* in = pixels.data() + uint64_t(r) * rowBytes;
            unsigned char* out = row.data();
            for (int32_t x = 0; x < w; ++x, in += bandCount, out += 3) {
                const unsigned red = in[0];
                const unsigned green = colourCount == 3 ? in[1] : in[0];
                const unsigned blue = colourCount == 3 ? in[2] : in[0];
                const unsigned a = p.hasAlpha ? in[bandCount - 1] : 255;
                // Over white: c * a + 255 * (255 - a), rounded, / 255.
                out[0] = static_cast<unsigned char>((blue * a + 255 * (255 - a) + 127) / 255);
                out[1] = static_cast<unsigned char>((green * a + 255 * (255 - a) + 127) / 255);
                out[2] = static_cast<unsigned char>((red * a + 255 * (255 - a) + 127) / 255);
            }
            const uint64_t offset = kBmpHeaderBytes + uint64_t(h - 1 - (y0 + r)) * stride;
            if (!WriteAll(fd, row.data(), stride, offset))
                return fail("cannot write " + hostPath + ": " + std::strerror(errno));
        }
    }
    if (fsync(fd) != 0 && errno != EINVAL) return fail("cannot write " + hostPath + ": " + std::strerror(errno));
    if (close(fd) != 0) {
        unlink(hostPath.c_str());
        *error = "cannot write " + hostPath + ": " + std::strerror(errno);
        return 0;
    }
    return 1;
}
