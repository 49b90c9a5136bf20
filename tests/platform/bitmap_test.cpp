// Bitmap files: BMP of every common depth and both row orders, written here byte by
// byte, load with the right pixels; truncated files and lying headers give no bitmap
// and no crash; PNG and JPEG load too.
#include <gtest/gtest.h>

#include <QImage>

#include "platform/files.h"
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

std::vector<uint8_t> MakeBmp(int bits, bool topDown, uint32_t headerSize = 40)
{
    const uint32_t colours = bits == 1 ? 2 : bits <= 8 ? 4 : 0, stride = (kW * bits + 31) / 32 * 4;
    const uint32_t offBits = 14 + headerSize + 4 * colours;
    std::vector<uint8_t> b(offBits + stride * kH, 0);
    b[0] = 'B', b[1] = 'M';
    Put(b, 2, uint32_t(b.size())), Put(b, 10, offBits), Put(b, 14, headerSize), Put(b, 18, kW);
    Put(b, 22, topDown ? uint32_t(-kH) : kH), Put(b, 26, 1, 2), Put(b, 28, bits, 2), Put(b, 46, colours);
    for (uint32_t i = 0; i < colours; ++i) Put(b, 14 + headerSize + 4 * i, kColours[i]);  // B, G, R, 0
    for (int y = 0; y < kH; ++y) {
        const size_t row = offBits + size_t(topDown ? y : kH - 1 - y) * stride;
        for (int x = 0; x < kW; ++x) {
            const int index = kIndex[y][x];
            if (bits == 1) b[row + x / 8] |= uint8_t((index & 1) << (7 - x % 8));
            if (bits == 4) b[row + x / 2] |= uint8_t(index << (x % 2 ? 0 : 4));
            if (bits == 8) b[row + x] = uint8_t(index);
            if (bits == 24) Put(b, row + 3 * x, kColours[index], 3);
            if (bits == 32) Put(b, row + 4 * x, kColours[index] | 0x7F000000);  // the fourth byte is ignored
        }
    }
    return b;
}

class BitmapTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureQtApplication(), root = MakeTempFolder(), SetDeviceRoot(root); }
    void TearDown() override { std::filesystem::remove_all(root); }
    BitmapHandle Load(const std::vector<uint8_t>& bytes)
    {
        std::ofstream(root + "/map.bmp", std::ios::binary).write((const char*)bytes.data(), long(bytes.size()));
        return LoadBitmapFile(u"\\map.bmp");
    }
    std::string root;
};

TEST_F(BitmapTest, EveryDepthAndRowOrderReadsTheRightPixels)
{
    // Bits, top-down, header size (40 plain, 108 and 124 the later headers).
    const int rows[][3] = {{1, 0, 40},  {1, 1, 40},  {4, 0, 40},  {4, 1, 40},  {8, 0, 40},   {8, 1, 40},
                           {24, 0, 40}, {24, 1, 40}, {32, 0, 40}, {32, 1, 40}, {24, 1, 108}, {8, 0, 124}};
    for (const auto& r : rows) {
        BitmapHandle b = Load(MakeBmp(r[0], r[1], r[2]));
        const std::string name = std::to_string(r[0]) + (r[1] ? " top-down " : " bottom-up ") + std::to_string(r[2]);
        ASSERT_NE(b, nullptr) << name;
        const QImage image = BitmapImage(b);
        ASSERT_EQ(image.size(), QSize(kW, kH)) << name;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x)
                EXPECT_EQ(Rgb(image, x, y), kColours[r[0] == 1 ? kIndex[y][x] & 1 : kIndex[y][x]])
                    << name << " at " << x << "," << y;
        EXPECT_EQ(DeleteObject(b), 1);
    }
}

TEST_F(BitmapTest, TruncatedFilesAndLyingHeadersGiveNoBitmap)
{
    const std::vector<uint8_t> good = MakeBmp(24, false), paletted = MakeBmp(8, false);
    auto with = [](std::vector<uint8_t> b, size_t at, uint32_t v, int bytes = 4, size_t size = 0) {
        return Put(b, at, v, bytes), b.resize(size != 0 ? size : b.size()), b;
    };
    const struct { const char* name; std::vector<uint8_t> bytes; } rows[] = {
        {"pixels one byte short", std::vector<uint8_t>(good.begin(), good.end() - 1)},
        {"cut inside the header", std::vector<uint8_t>(good.begin(), good.begin() + 30)}, {"empty file", {}},
        {"width 0", with(good, 18, 0)}, {"negative width", with(good, 18, uint32_t(-5))},
        {"height INT_MIN", with(good, 22, 0x80000000u)}, {"60000 x 60000", with(with(good, 18, 60000), 22, 60000)},
        {"7 bits per pixel", with(good, 28, 7, 2)}, {"pixel offset past the end", with(good, 10, 1u << 30)},
        {"pixel offset inside the header", with(good, 10, 20)}, {"header size 77", with(good, 14, 77)},
        {"header size past the end", with(good, 14, 124)}, {"bit fields at 24 bits", with(good, 30, 3)},
        {"300 colours at 8 bits", with(paletted, 46, 300)}, {"palette past the end", with(paletted, 46, 256, 4, 94)},
    };
    for (const auto& row : rows) EXPECT_EQ(Load(row.bytes), nullptr) << row.name;
    std::vector<uint8_t> outside = paletted;  // top row's last pixel points past the 4 colours: black
    outside[outside.size() - 4] = 200;
    BitmapHandle b = Load(outside);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(Rgb(BitmapImage(b), 4, 0), 0u);
    DeleteObject(b);
    EXPECT_EQ(LoadBitmapFile(u"\\missing.bmp"), nullptr);
    EXPECT_EQ(LoadBitmapFile(nullptr), nullptr);
}

TEST_F(BitmapTest, PngAndJpegLoad)
{
    QImage picture(40, 30, QImage::Format_RGB32);
    picture.fill(qRgb(200, 30, 30));
    for (int y = 0; y < 30; ++y) picture.setPixel(35, y, qRgb(30, 30, 200));
    ASSERT_TRUE(picture.save(QString::fromStdString(root + "/map.png")));
    ASSERT_TRUE(picture.save(QString::fromStdString(root + "/map.jpg"), "JPEG", 95));
    BitmapHandle png = LoadBitmapFile(u"\\map.png"), jpeg = LoadBitmapFile(u"\\map.jpg");
    EXPECT_EQ(BitmapImage(png), picture);
    const QImage j = BitmapImage(jpeg);
    ASSERT_EQ(j.size(), QSize(40, 30));
    EXPECT_NEAR(qRed(j.pixel(10, 15)), 200, 12) << "lossy: away from the blue column, 12 a channel";
    EXPECT_NEAR(qBlue(j.pixel(10, 15)), 30, 12);
    DeleteObject(png), DeleteObject(jpeg);
}

}  // namespace
