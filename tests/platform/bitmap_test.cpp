// Bitmap files: BMP of every depth and layout, written here byte by byte, read in place with exactly the
// pixels Qt's reader gives and painted alike; a 40000 x 40000 sparse BMP paints its own pixels; lying
// headers, other formats, huge declared sizes and files that are not regular files give no bitmap, no hang.
#include <gtest/gtest.h>

#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <climits>
#include <future>
#include <sys/stat.h>

#include "platform/qt/qt_internal.h"
#include "support.h"

namespace {

// 5 x 3 so every row needs padding at 1, 4, 8 and 24 bits; neighbours always differ.
constexpr int kW = 5, kH = 3;
const uint32_t kColours[4] = {0x102030, 0xFFFFFF, 0xC00000, 0x00A0FF};  // 0xRRGGBB
const int kIndex[kH][kW] = {{0, 1, 2, 3, 0}, {1, 2, 3, 0, 1}, {3, 3, 0, 2, 1}};

void Put(std::vector<uint8_t>& b, size_t at, uint32_t v, int bytes = 4)
{
    for (int i = 0; i < bytes; ++i) b.at(at + i) = (v >> (8 * i)) & 0xFF;
}

// headerSize 12: OS/2, 16-bit sizes and 3-byte colours; compression 3: bit fields; masks: red, green,
// blue, alpha (bit fields, and 32 bits in later headers).
struct Layout { const char* name; int bits; bool topDown; uint32_t headerSize = 40, compression = 0, masks[4] = {}; };

// The 5 x 3 picture; 16 and 32 bits store each colour through the masks (or as 5-5-5
// and blue, green, red, x), an alpha channel varies along the row.
std::vector<uint8_t> MakeBmp(const Layout& l)
{
    const bool os2 = l.headerSize == 12, fields = l.compression == 3 && l.headerSize < 108;
    // The OS/2 header has no colour count: its palette always has 2^bits colours.
    const uint32_t colours = l.bits > 8 ? 0 : os2 || l.bits == 1 ? 1u << l.bits : 4, stride = (kW * l.bits + 31) / 32 * 4;
    const uint32_t entry = os2 ? 3 : 4, offBits = 14 + l.headerSize + (fields ? 12 : 0) + entry * colours;
    std::vector<uint8_t> b(offBits + stride * kH, 0);
    b[0] = 'B', b[1] = 'M';
    Put(b, 2, uint32_t(b.size())), Put(b, 10, offBits), Put(b, 14, l.headerSize);
    if (os2)
        Put(b, 18, kW, 2), Put(b, 20, l.topDown ? -kH : kH, 2), Put(b, 22, 1, 2), Put(b, 24, l.bits, 2);
    else
        Put(b, 18, kW), Put(b, 22, l.topDown ? uint32_t(-kH) : kH), Put(b, 26, 1, 2), Put(b, 28, l.bits, 2),
            Put(b, 30, l.compression), Put(b, 46, colours);
    for (int i = 0; i < 4 && l.headerSize >= 108; ++i) Put(b, 54 + 4 * i, l.masks[i]);
    for (int i = 0; i < 3 && fields; ++i) Put(b, 14 + l.headerSize + 4 * i, l.masks[i]);
    for (uint32_t i = 0; i < colours && i < 4; ++i) Put(b, offBits - entry * (colours - i), kColours[i], int(entry));
    const uint32_t* m = l.masks;
    auto field = [](uint32_t mask, uint32_t v) {  // a channel of n mask bits keeps the colour's top n bits
        return mask == 0 ? 0u : ((v >> (8 - std::min(__builtin_popcount(mask), 8))) << __builtin_ctz(mask)) & mask;
    };
    const bool masked = l.compression == 3 || (l.bits == 32 && m[3] == 0xFF000000);
    for (int y = 0; y < kH; ++y) {
        const size_t row = offBits + size_t(l.topDown ? y : kH - 1 - y) * stride;
        for (int x = 0; x < kW; ++x) {
            const int index = kIndex[y][x];
            const uint32_t c = kColours[index], r = c >> 16, g = (c >> 8) & 0xFF, bl = c & 0xFF, a = 40 + 50 * x;
            const uint32_t packed = masked ? field(m[0], r) | field(m[1], g) | field(m[2], bl) | field(m[3], a)
                                           : l.bits == 16 ? (r >> 3) << 10 | (g >> 3) << 5 | bl >> 3 : c | 0x7F000000;
            if (l.bits == 1) b[row + x / 8] |= uint8_t((index & 1) << (7 - x % 8));
            if (l.bits == 4) b[row + x / 2] |= uint8_t(index << (x % 2 ? 0 : 4));
            if (l.bits == 8) b[row + x] = uint8_t(index);
            if (l.bits >= 16) Put(b, row + l.bits / 8 * x, packed, l.bits / 8);
        }
    }
    return b;
}

// What Qt's reader makes of a file, laid over white as the loader always did.
QImage QtReads(const std::string& path)
{
    const QImage image = QImageReader(QString::fromStdString(path)).read();
    if (image.isNull() || !image.hasAlphaChannel()) return image.convertToFormat(QImage::Format_RGB32);
    QImage flat = Filled(image.width(), image.height(), 0xFFFFFFFF);
    QPainter(&flat).drawImage(0, 0, image);
    return flat;
}

// bitmap ANDed onto a white w x h surface at (x, y), whole, as the view does it.
QImage Painted(BitmapHandle bitmap, int32_t x, int32_t y, int w = 240, int h = 268)
{
    Canvas dst(Filled(w, h, 0xFFFFFFFF)), src(bitmap);
    int32_t bw = 0, bh = 0;
    GetBitmapSize(bitmap, &bw, &bh);
    EXPECT_EQ(BlockTransfer(dst.surface, x, y, bw, bh, src.surface, 0, 0, kRopSourceAnd), 1);
    return dst.Pixels();
}

class BitmapTest : public ::testing::Test {
protected:
    template <class Bytes> BitmapHandle Load(const Bytes& bytes, const std::string& name = "map.bmp")
    {
        std::ofstream(root + "/" + name, std::ios::binary).write((const char*)bytes.data(), long(bytes.size()));
        return LoadBitmapFile(std::u16string(u"\\" + std::u16string(name.begin(), name.end())).c_str());
    }
    const TempRoot temp;
    const std::string& root = temp.path;
};

TEST_F(BitmapTest, EveryDepthAndLayoutIsReadInPlaceAsQtReadsIt)
{
    // Top-down rows are found in one place for every depth; plain 24 bits bottom-up are PaintTest's maps.
    const Layout rows[] = {
        {"1 bit", 1, false}, {"4 bits top-down", 4, true}, {"8 bits", 8, false}, {"8 bits OS/2", 8, false, 12},
        {"24 bits OS/2 top-down", 24, true, 12}, {"16 bits 5-5-5", 16, false}, {"32 bits", 32, false},
        {"24 bits, 64-byte header", 24, false, 64}, {"8 bits, 124-byte header", 8, false, 124},
        {"16 bits 5-6-5 fields", 16, false, 40, 3, {0xF800, 0x07E0, 0x001F, 0}},
        {"16 bits 4-4-4-4 fields with alpha", 16, true, 124, 3, {0x0F00, 0x00F0, 0x000F, 0xF000}},
        {"32 bits fields, 10-bit red", 32, false, 40, 3, {0x3FF00000, 0x0000FF00, 0x000000FF, 0}},
        {"32 bits fields with alpha", 32, true, 108, 3, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}},
        {"32 bits with an alpha byte", 32, false, 124, 0, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}},
        {"32 bits, alpha mask not the top byte", 32, false, 124, 0, {0x00FF0000, 0x0000FF00, 0x000000FF, 0x0000FF00}},
    };
    for (const Layout& l : rows) {
        BitmapHandle b = Load(MakeBmp(l));
        ASSERT_NE(b, nullptr) << l.name;
        EXPECT_TRUE(b->mapped != nullptr) << l.name << ": read in place";
        const QImage today = QtReads(root + "/map.bmp");
        EXPECT_TRUE(today.size() == QSize(kW, kH) && BitmapImage(b) == today) << l.name;
        BitmapHandle decoded = CreateBitmapFromImage(today);
        for (const Point at : {Point{0, 0}, Point{-2, 1}, Point{238, 266}})
            EXPECT_EQ(Painted(b, at.x, at.y), Painted(decoded, at.x, at.y)) << l.name << " painted at " << at.x;
        DeleteObject(decoded);
        EXPECT_EQ(DeleteObject(b), 1);
    }
}

// A 40000 x 40000 24-bit BMP (4.8 GB, sparse: only three patches written) paints, at every offset,
// exactly the pixels of the patch that lands on the surface.
TEST_F(BitmapTest, HugeSparseBmpPaintsItsOwnPixelsAtEveryOffset)
{
    constexpr int64_t kSide = 40000, kStride = kSide * 3;
    auto pixel = [](int64_t x, int64_t y) { return uint32_t((x * 37 + y * 11) & 0xFF) << 16 | uint32_t(x ^ y) << 8 | 0x3F; };
    struct Crop { int64_t x, y; int w, h; };
    const Crop crops[] = {{0, 0, 240, 268}, {kSide - 240, kSide - 268, 240, 268}, {20000, 20000, 300, 300}};
    std::vector<uint8_t> head(54, 0);
    head[0] = 'B', head[1] = 'M', Put(head, 10, 54), Put(head, 14, 40), Put(head, 18, kSide), Put(head, 22, kSide);
    Put(head, 26, 1, 2), Put(head, 28, 24, 2);
    const int fd = open((root + "/huge.bmp").c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, head.data(), 54, 0), 54);
    for (const Crop& c : crops)
        for (int64_t y = c.y; y < c.y + c.h; ++y) {
            std::vector<uint8_t> row(size_t(c.w) * 3);
            for (int x = 0; x < c.w; ++x) Put(row, 3 * size_t(x), pixel(c.x + x, y), 3);
            ASSERT_EQ(pwrite(fd, row.data(), row.size(), 54 + (kSide - 1 - y) * kStride + c.x * 3), ssize_t(row.size()));
        }
    ASSERT_EQ(ftruncate(fd, 54 + kSide * kStride), 0);
    close(fd);
    BitmapHandle huge = LoadBitmapFile(u"\\huge.bmp");
    ASSERT_NE(huge, nullptr);

    const struct { int crop; int32_t x, y; } rows[] = {  // where the crop's top-left lands; the map beyond stays white
        {0, 0, 0}, {0, 17, 33}, {0, 239, 267}, {0, 240, 0}, {1, 0, 0}, {1, -17, -33}, {1, -239, -267},
        {2, -10, -20}, {2, -60, -32}, {0, INT_MIN, INT_MIN}, {0, -2000000000, 5}, {0, INT_MAX - 5, 0}};
    for (const auto& r : rows) {
        const Crop& c = crops[r.crop];
        QImage expected = Filled(240, 268, 0xFFFFFFFF);
        for (int64_t y = std::max(r.y, 0); y < std::min<int64_t>(int64_t(r.y) + c.h, 268); ++y)
            for (int64_t x = std::max(r.x, 0); x < std::min<int64_t>(int64_t(r.x) + c.w, 240); ++x)
                expected.setPixel(int(x), int(y), 0xFF000000 | pixel(c.x + x - r.x, c.y + y - r.y));
        EXPECT_EQ(Painted(huge, int32_t(std::clamp<int64_t>(r.x - c.x, INT_MIN, INT_MAX)),
                          int32_t(std::clamp<int64_t>(r.y - c.y, INT_MIN, INT_MAX))),
                  expected) << "crop " << r.crop << " at " << r.x << "," << r.y;
    }
    EXPECT_EQ(DeleteObject(huge), 1);
}

TEST_F(BitmapTest, TruncatedFilesAndLyingHeadersGiveNoBitmap)
{
    const std::vector<uint8_t> good = MakeBmp({"", 24, false}), paletted = MakeBmp({"", 8, false});
    auto with = [](std::vector<uint8_t> b, size_t at, uint32_t v, int bytes = 4, size_t size = 0) {
        return Put(b, at, v, bytes), b.resize(size != 0 ? size : b.size()), b;
    };
    const struct { const char* name; std::vector<uint8_t> bytes; } rows[] = {
        {"pixels one byte short", std::vector<uint8_t>(good.begin(), good.end() - 1)},
        {"cut inside the header", std::vector<uint8_t>(good.begin(), good.begin() + 30)}, {"empty file", {}},
        {"width 0", with(good, 18, 0)}, {"height INT_MIN", with(good, 22, 0x80000000u)},
        {"60000 x 60000", with(with(good, 18, 60000), 22, 60000)}, {"7 bits per pixel", with(good, 28, 7, 2)},
        {"pixel offset past the end", with(good, 10, 1u << 30)}, {"pixel offset inside the header", with(good, 10, 20)},
        {"header size 52", with(good, 14, 52)}, {"two planes", with(good, 26, 2, 2)},
        {"header size past the end", with(good, 14, 124)}, {"bit fields at 24 bits", with(good, 30, 3)},
        {"300 colours at 8 bits", with(paletted, 46, 300)}, {"palette past the end", with(paletted, 46, 256, 4, 94)},
        {"a bit mask of all 32 bits", with(with(MakeBmp({"", 32, false, 40, 3, {0xFF0000, 0xFF00, 0xFF, 0}}), 54, 0xFFFFFFFF), 30, 3)},
    };
    for (const auto& row : rows) EXPECT_EQ(Load(row.bytes), nullptr) << row.name;
    BitmapHandle b = Load(with(paletted, paletted.size() - 4, 200, 1));  // top row's last pixel: past the 4 colours
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(Rgb(BitmapImage(b), 4, 0), 0u) << "black";
    DeleteObject(b);
    EXPECT_EQ(LoadBitmapFile(nullptr), nullptr);
}

// Decided by content, never by name: PNG and JPEG load, other formats do not; sizes checked before
// decoding; only regular files (a BMP read in place: ReferenceTest's demo/temp.bmp).
TEST_F(BitmapTest, PngAndJpegLoadOtherFormatsHugeDeclaredSizesAndNonRegularFilesAreRefused)
{
    QImage picture = Filled(40, 30, qRgb(200, 30, 30));
    for (int y = 0; y < 30; ++y) picture.setPixel(35, y, qRgb(30, 30, 200));
    ASSERT_TRUE(picture.save(QString::fromStdString(root + "/map.png")));
    ASSERT_TRUE(picture.save(QString::fromStdString(root + "/map.jpg"), "JPEG", 95));
    std::filesystem::create_symlink(root + "/map.png", root + "/link.bmp");  // a link is followed; a PNG all the same
    BitmapHandle png = LoadBitmapFile(u"\\link.bmp"), jpeg = LoadBitmapFile(u"\\map.jpg");
    EXPECT_EQ(BitmapImage(png), picture);
    const QImage j = BitmapImage(jpeg);
    ASSERT_EQ(j.size(), QSize(40, 30));
    EXPECT_NEAR(qRed(j.pixel(10, 15)), 200, 12) << "lossy: 12 a channel";
    DeleteObject(png), DeleteObject(jpeg);
    const std::string svg = "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' "
                            "width='64' height='64'><image xlink:href='/etc/velkar-outside.png' width='64' height='64'/></svg>";
    // A PNG declaring 20000 x 20000 pixels (400 million, over the cap), with 16 bytes of data.
    const std::string hugePng(
        "\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\x4E\x20\0\0\x4E\x20\x08\x02\0\0\0\x6C\x12\xD1\x6E\0\0\0\x0BIDAT\x78\x9C"
        "\x63\x60\x40\x05\0\0\x10\0\x01\x39\xBD\x8F\x65\0\0\0\0IEND\xAE\x42\x60\x82", 68);
    const struct { const char* name; std::string bytes; const char* why; } rows[] = {
        {"SVG drawing an outside image", svg, "not a BMP, PNG or JPEG"},
        {"PNG of 20000 x 20000", hugePng, "over the 150000000 pixels"},
    };
    for (const auto& r : rows)
        for (const char* name : {"map.bmp", "map.png"}) {
            BitmapHandle b = nullptr;
            const std::string said = Said([&] { b = Load(r.bytes, name); });
            EXPECT_EQ(b, nullptr) << r.name << " as " << name;
            EXPECT_NE(said.find(r.why), std::string::npos) << r.name << ": " << said;
        }
    // A FIFO with no writer: an open that waited would hang here for ever.
    ASSERT_EQ(mkfifo((root + "/fifo.bmp").c_str(), 0600), 0);
    auto loading = std::async(std::launch::async, [] { return LoadBitmapFile(u"\\fifo.bmp"); });
    if (loading.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
        close(open((root + "/fifo.bmp").c_str(), O_WRONLY | O_NONBLOCK));  // releases the waiting open
        FAIL() << "loading a FIFO hangs";
    }
    EXPECT_EQ(loading.get(), nullptr);
}

}  // namespace
