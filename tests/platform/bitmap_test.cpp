// Bitmap files: BMP of every common depth and both row orders, written here byte
// by byte, load with the right pixels; truncated files and headers that lie give
// no bitmap and no crash; PNG and JPEG load too; paths go through the device root.
#include <gtest/gtest.h>

#include <QImage>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/qt/qt_handles.h"
#include "support.h"

namespace {

// A 5 x 3 picture of palette indices / colours, chosen so that every row needs
// padding at 1, 4, 8 and 24 bits and no two neighbouring pixels are equal.
constexpr int kW = 5, kH = 3;
const uint32_t kColours[4] = {0x102030, 0xFFFFFF, 0xC00000, 0x00A0FF};  // 0xRRGGBB
const int kIndex[kH][kW] = {{0, 1, 2, 3, 0}, {1, 2, 3, 0, 1}, {3, 3, 0, 2, 1}};

void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    b.at(at) = v & 0xFF;
    b.at(at + 1) = (v >> 8) & 0xFF;
}
void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v)
{
    for (size_t i = 0; i < 4; ++i) b.at(at + i) = (v >> (8 * i)) & 0xFF;
}

struct BmpLayout {
    int bits;
    bool topDown;
    uint32_t compression = 0;      // 0 none, 3 bit fields
    uint32_t masks[3] = {0, 0, 0}; // red, green, blue (bit fields)
    uint32_t headerSize = 40;
};

// Encodes one pixel of colour 0xRRGGBB in 16 bits with the given masks.
uint32_t Pack16(uint32_t rgb, const uint32_t masks[3])
{
    uint32_t out = 0;
    const uint32_t channel[3] = {(rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF};
    for (int c = 0; c < 3; ++c) {
        const int shift = __builtin_ctz(masks[c]);
        const uint32_t max = masks[c] >> shift;
        out |= ((channel[c] * max + 127) / 255) << shift;
    }
    return out;
}

// What a 16-bit pixel reads back as.
uint32_t Unpack16(uint32_t px, const uint32_t masks[3])
{
    uint32_t out = 0;
    for (int c = 0; c < 3; ++c) {
        const int shift = __builtin_ctz(masks[c]);
        const uint32_t max = masks[c] >> shift;
        out |= (((px & masks[c]) >> shift) * 255 / max) << (16 - 8 * c);
    }
    return out;
}

std::vector<uint8_t> MakeBmp(const BmpLayout& s)
{
    const bool paletted = s.bits <= 8;
    const uint32_t paletteCount = paletted ? (s.bits == 1 ? 2 : 4) : 0;
    const uint32_t maskBytes = (s.compression == 3 && s.headerSize == 40) ? 12 : 0;
    const uint32_t stride = ((kW * s.bits + 31) / 32) * 4;
    const uint32_t offBits = 14 + s.headerSize + maskBytes + 4 * paletteCount;
    std::vector<uint8_t> b(offBits + stride * kH, 0);
    b[0] = 'B';
    b[1] = 'M';
    Put32(b, 2, static_cast<uint32_t>(b.size()));
    Put32(b, 10, offBits);
    Put32(b, 14, s.headerSize);
    Put32(b, 18, kW);
    Put32(b, 22, s.topDown ? static_cast<uint32_t>(-kH) : kH);
    Put16(b, 26, 1);
    Put16(b, 28, static_cast<uint32_t>(s.bits));
    Put32(b, 30, s.compression);
    Put32(b, 46, paletteCount);
    if (s.compression == 3) {
        const size_t at = 54;  // right after the 40 bytes, or inside a longer header
        for (int c = 0; c < 3; ++c) Put32(b, at + 4 * c, s.masks[c]);
    }
    const size_t paletteAt = 14 + s.headerSize + maskBytes;
    for (uint32_t i = 0; i < paletteCount; ++i) {
        b[paletteAt + 4 * i] = kColours[i] & 0xFF;
        b[paletteAt + 4 * i + 1] = (kColours[i] >> 8) & 0xFF;
        b[paletteAt + 4 * i + 2] = (kColours[i] >> 16) & 0xFF;
    }
    for (int y = 0; y < kH; ++y) {
        const int fileRow = s.topDown ? y : kH - 1 - y;
        const size_t row = offBits + static_cast<size_t>(fileRow) * stride;
        for (int x = 0; x < kW; ++x) {
            const int index = kIndex[y][x];
            const uint32_t rgb = kColours[index];
            switch (s.bits) {
            case 1: b[row + x / 8] |= static_cast<uint8_t>((index & 1) << (7 - x % 8)); break;
            case 4: b[row + x / 2] |= static_cast<uint8_t>(index << (x % 2 ? 0 : 4)); break;
            case 8: b[row + x] = static_cast<uint8_t>(index); break;
            case 16: Put16(b, row + 2 * x, Pack16(rgb, s.masks)); break;
            case 24:
                b[row + 3 * x] = rgb & 0xFF;
                b[row + 3 * x + 1] = (rgb >> 8) & 0xFF;
                b[row + 3 * x + 2] = (rgb >> 16) & 0xFF;
                break;
            case 32:
                if (s.compression == 3) {
                    Put32(b, row + 4 * x, ((rgb >> 16) & 0xFF) << 24 | ((rgb >> 8) & 0xFF) << 16 | (rgb & 0xFF) << 8);
                } else {
                    Put32(b, row + 4 * x, rgb | 0x7F000000);  // the unused byte is ignored
                }
                break;
            }
        }
    }
    return b;
}

uint32_t ExpectedPixel(const BmpLayout& s, int x, int y)
{
    int index = kIndex[y][x];
    if (s.bits == 1) index &= 1;  // two colours: indices 0 and 1
    const uint32_t rgb = kColours[index];
    if (s.bits == 16) return Unpack16(Pack16(rgb, s.masks), s.masks);
    return rgb;
}

class BitmapTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureQtApplication();
        root = MakeTempFolder();
        SetDeviceRoot(root);
    }
    void TearDown() override { std::filesystem::remove_all(root); }
    std::string root;
};

TEST_F(BitmapTest, EveryDepthAndRowOrderReadsTheRightPixels)
{
    const uint32_t m555[3] = {0x7C00, 0x03E0, 0x001F};
    const uint32_t m565[3] = {0xF800, 0x07E0, 0x001F};
    const uint32_t m8888[3] = {0xFF000000, 0x00FF0000, 0x0000FF00};
    struct Row {
        const char* name;
        BmpLayout layout;
    } rows[] = {
        {"1 bit bottom-up", {1, false}},
        {"1 bit top-down", {1, true}},
        {"4 bits bottom-up", {4, false}},
        {"4 bits top-down", {4, true}},
        {"8 bits bottom-up", {8, false}},
        {"8 bits top-down", {8, true}},
        {"16 bits 5-5-5 bottom-up", {16, false, 0, {m555[0], m555[1], m555[2]}}},
        {"16 bits 5-6-5 fields top-down", {16, true, 3, {m565[0], m565[1], m565[2]}}},
        {"24 bits bottom-up", {24, false}},
        {"24 bits top-down", {24, true}},
        {"32 bits bottom-up", {32, false}},
        {"32 bits top-down", {32, true}},
        {"32 bits fields, header of 124", {32, false, 3, {m8888[0], m8888[1], m8888[2]}, 124}},
        {"24 bits, header of 108", {24, true, 0, {0, 0, 0}, 108}},
    };
    for (const Row& row : rows) {
        WriteBytes(root + "/map.bmp", MakeBmp(row.layout));
        BitmapHandle b = LoadBitmapFile(u"\\map.bmp");
        ASSERT_NE(b, nullptr) << row.name;
        const QImage image = BitmapImage(b);
        EXPECT_EQ(image.format(), QImage::Format_RGB32) << row.name;
        ASSERT_EQ(image.size(), QSize(kW, kH)) << row.name;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                EXPECT_EQ(Rgb(image, x, y), ExpectedPixel(row.layout, x, y)) << row.name << " at " << x << "," << y;
        EXPECT_EQ(DeleteObject(b), 1);
    }
}

TEST_F(BitmapTest, TruncatedFilesAndLyingHeadersGiveNoBitmap)
{
    const std::vector<uint8_t> good = MakeBmp({24, false});
    auto with = [&](auto change) {
        std::vector<uint8_t> b = good;
        change(b);
        return b;
    };
    struct Row {
        const char* name;
        std::vector<uint8_t> bytes;
    } rows[] = {
        {"pixel data one byte short", std::vector<uint8_t>(good.begin(), good.end() - 1)},
        {"header only", std::vector<uint8_t>(good.begin(), good.begin() + 54)},
        {"cut inside the header", std::vector<uint8_t>(good.begin(), good.begin() + 30)},
        {"just the magic", {'B', 'M'}},
        {"empty file", {}},
        {"width 0", with([](auto& b) { Put32(b, 18, 0); })},
        {"negative width", with([](auto& b) { Put32(b, 18, static_cast<uint32_t>(-5)); })},
        {"height 0", with([](auto& b) { Put32(b, 22, 0); })},
        {"height INT_MIN", with([](auto& b) { Put32(b, 22, 0x80000000u); })},
        {"huge width and height", with([](auto& b) {
             Put32(b, 18, 60000);
             Put32(b, 22, 60000);
         })},
        {"width claims more rows than the file holds", with([](auto& b) { Put32(b, 18, 500); })},
        {"7 bits per pixel", with([](auto& b) { Put16(b, 28, 7); })},
        {"pixel offset past the end", with([](auto& b) { Put32(b, 10, 1u << 30); })},
        {"pixel offset inside the header", with([](auto& b) { Put32(b, 10, 20); })},
        {"header size 77", with([](auto& b) { Put32(b, 14, 77); })},
        {"header size past the end", with([](auto& b) { Put32(b, 14, 124); })},
        {"bit fields at 24 bits", with([](auto& b) { Put32(b, 30, 3); })},
    };
    for (const Row& row : rows) {
        WriteBytes(root + "/bad.bmp", row.bytes);
        BitmapHandle b = LoadBitmapFile(u"\\bad.bmp");
        EXPECT_EQ(b, nullptr) << row.name;
        DeleteObject(b);
    }

    // Paletted files whose palette lies.
    const std::vector<uint8_t> paletted = MakeBmp({8, false});
    std::vector<uint8_t> tooMany = paletted;
    Put32(tooMany, 46, 300);  // more colours than 8 bits can index
    WriteBytes(root + "/p1.bmp", tooMany);
    EXPECT_EQ(LoadBitmapFile(u"\\p1.bmp"), nullptr);
    std::vector<uint8_t> beyond = paletted;
    Put32(beyond, 46, 256);   // a palette running past the end of a small file
    beyond.resize(14 + 40 + 4 * 10);
    WriteBytes(root + "/p2.bmp", beyond);
    EXPECT_EQ(LoadBitmapFile(u"\\p2.bmp"), nullptr);
}

TEST_F(BitmapTest, IndicesBeyondAShortPaletteReadBlack)
{
    std::vector<uint8_t> b = MakeBmp({8, false});
    // Pixel (4, 0) of the top row, stored last in a bottom-up file, points past the 4 colours.
    const uint32_t offBits = b[10] | b[11] << 8;
    const uint32_t stride = 8;
    b[offBits + 2 * stride + 4] = 200;
    WriteBytes(root + "/short.bmp", b);
    BitmapHandle bitmap = LoadBitmapFile(u"\\short.bmp");
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(Rgb(BitmapImage(bitmap), 4, 0), 0x000000u);
    EXPECT_EQ(Rgb(BitmapImage(bitmap), 3, 0), kColours[3]);
    DeleteObject(bitmap);
}

TEST_F(BitmapTest, PngAndJpegLoadAndTransparencyBecomesWhite)
{
    QImage picture(40, 30, QImage::Format_RGB32);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) picture.setPixel(x, y, x < 20 ? qRgb(200, 30, 30) : qRgb(30, 30, 200));
    ASSERT_TRUE(picture.save(QString::fromStdString(root + "/map.png"), "PNG"));
    ASSERT_TRUE(picture.save(QString::fromStdString(root + "/map.jpg"), "JPEG", 95));

    BitmapHandle png = LoadBitmapFile(u"\\map.png");
    ASSERT_NE(png, nullptr);
    EXPECT_EQ(BitmapImage(png), picture);
    DeleteObject(png);

    BitmapHandle jpeg = LoadBitmapFile(u"\\map.jpg");
    ASSERT_NE(jpeg, nullptr);
    const QImage j = BitmapImage(jpeg);
    EXPECT_EQ(j.format(), QImage::Format_RGB32);
    ASSERT_EQ(j.size(), QSize(40, 30));
    // JPEG is lossy: compare away from the colour edge with a tolerance of 12 a channel.
    for (QPoint p : {QPoint(5, 5), QPoint(35, 25)}) {
        const QRgb want = picture.pixel(p), got = j.pixel(p);
        EXPECT_NEAR(qRed(got), qRed(want), 12);
        EXPECT_NEAR(qGreen(got), qGreen(want), 12);
        EXPECT_NEAR(qBlue(got), qBlue(want), 12);
    }
    DeleteObject(jpeg);

    QImage clear(4, 4, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    clear.setPixel(1, 1, qRgba(0, 0, 0, 255));
    ASSERT_TRUE(clear.save(QString::fromStdString(root + "/clear.png"), "PNG"));
    BitmapHandle c = LoadBitmapFile(u"\\clear.png");
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(Rgb(BitmapImage(c), 0, 0), 0xFFFFFFu) << "transparent parts leave the view's white";
    EXPECT_EQ(Rgb(BitmapImage(c), 1, 1), 0x000000u);
    DeleteObject(c);
}

TEST_F(BitmapTest, BrokenPngAndOtherFilesGiveNoBitmap)
{
    QImage picture(64, 64, QImage::Format_RGB32);
    picture.fill(qRgb(1, 2, 3));
    ASSERT_TRUE(picture.save(QString::fromStdString(root + "/whole.png"), "PNG"));
    std::vector<uint8_t> bytes;
    {
        std::ifstream in(root + "/whole.png", std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bytes.resize(40);
    WriteBytes(root + "/cut.png", bytes);
    EXPECT_EQ(LoadBitmapFile(u"\\cut.png"), nullptr);
    WriteBytes(root + "/text.bmp", {'h', 'e', 'l', 'l', 'o'});
    EXPECT_EQ(LoadBitmapFile(u"\\text.bmp"), nullptr);
    EXPECT_EQ(LoadBitmapFile(u"\\missing.bmp"), nullptr);
    EXPECT_EQ(LoadBitmapFile(u""), nullptr);
    EXPECT_EQ(LoadBitmapFile(nullptr), nullptr);
}

TEST_F(BitmapTest, DevicePathsAreFoundWhateverTheirCase)
{
    WriteBytes(root + "/My Documents/Velkar/Centro.BMP", MakeBmp({24, true}));
    BitmapHandle b = LoadBitmapFile(u"\\my documents\\velkar\\centro.bmp");
    ASSERT_NE(b, nullptr);
    int32_t w = 0, h = 0;
    GetBitmapSize(b, &w, &h);
    EXPECT_EQ(w, kW);
    EXPECT_EQ(h, kH);
    DeleteObject(b);
    BitmapHandle dotted = LoadBitmapFile(u".\\My Documents\\Velkar\\Centro.BMP");
    EXPECT_NE(dotted, nullptr);
    DeleteObject(dotted);
}

}  // namespace
