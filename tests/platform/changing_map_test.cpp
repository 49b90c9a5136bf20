// A map file that changes while shown: cut short, removed, replaced or rewritten
// between two paints gives what can still be read (white where not) or the new
// file; cut short again and again by another thread during paints, never a crash.
#include <gtest/gtest.h>

#include <QBuffer>

#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/diagnostics.h"
#include "platform/files.h"
#include "support.h"

namespace {

constexpr int kW = 64, kH = 48;

// A 24-bit bottom-up BMP of kW x kH (Qt's writer), colour c at (x, y) = (4 x, 5 y, blue).
std::string MapBytes(int blue)
{
    QImage image(kW, kH, QImage::Format_RGB32);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) image.setPixel(x, y, qRgb(4 * x, 5 * y, blue));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "BMP");
    return bytes.toStdString();
}

void WriteFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

// bitmap ANDed onto a white surface of its size at (0, 0), at 1:1 or scaled.
QImage Painted(BitmapHandle bitmap, bool scaled, int w = kW, int h = kH)
{
    QImage white(w, h, QImage::Format_RGB32);
    white.fill(Qt::white);
    BitmapHandle canvas = CreateBitmapFromImage(white);
    SurfaceHandle dst = CreateCompatibleSurface(nullptr), src = CreateCompatibleSurface(nullptr);
    ObjectHandle oldDst = SelectObject(dst, canvas), oldSrc = SelectObject(src, bitmap);
    if (scaled)
        StretchTransfer(dst, 0, 0, w, h, src, 0, 0, 2 * w, 2 * h, kRopSourceAnd);
    else
        BlockTransfer(dst, 0, 0, w, h, src, 0, 0, kRopSourceAnd);
    SelectObject(dst, oldDst), SelectObject(src, oldSrc), DeleteSurface(dst), DeleteSurface(src);
    const QImage out = BitmapImage(canvas);
    DeleteObject(canvas);
    return out;
}

TEST(ChangingMap, BetweenPaintsWhatCanBeReadOrTheNewFile)
{
    EnsureQtApplication();
    const std::string root = MakeTempFolder(), path = root + "/map.bmp";
    SetDeviceRoot(root);
    const std::string first = MapBytes(0x40), second = MapBytes(0xC0);
    const size_t stride = kW * 3, pixels = first.size() - kH * stride;  // Qt writes 54 header bytes
    enum Seen { kFirst, kLowerHalfOnly, kSecond, kWhite };
    const struct { const char* name; std::function<void()> change; Seen seen; const char* said; } rows[] = {
        {"cut to half its rows (the lower half, stored first)",
         [&] { std::filesystem::resize_file(path, pixels + kH / 2 * stride); }, kLowerHalfOnly, "cut short"},
        {"cut to its header", [&] { std::filesystem::resize_file(path, pixels); }, kWhite, "cut short"},
        {"removed", [&] { std::filesystem::remove(path); }, kFirst, "gone"},
        {"replaced by another map", [&] { WriteFile(path + ".new", second), std::filesystem::rename(path + ".new", path); },
         kSecond, "loaded anew"},
        {"rewritten in place, longer", [&] { WriteFile(path, second + "trailing bytes"); }, kSecond, "loaded anew"},
        {"replaced by a text file", [&] { WriteFile(path + ".new", "not a map\n"), std::filesystem::rename(path + ".new", path); },
         kWhite, "refused"},
    };
    for (const auto& r : rows) {
        WriteFile(path, first);
        BitmapHandle map = LoadBitmapFile(u"\\map.bmp");
        ASSERT_NE(map, nullptr) << r.name;
        const QImage before = Painted(map, false);
        r.change();
        SetVerbose(1);
        QImage after, scaled;
        const std::string said = Capture(2, [&] { after = Painted(map, false), scaled = Painted(map, true, kW / 2, kH / 2); });
        SetVerbose(0);
        EXPECT_NE(said.find(r.said), std::string::npos) << r.name << ": " << said;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const uint32_t blue = r.seen == kSecond ? 0xC0 : 0x40, map = (4u * x) << 16 | (5u * y) << 8 | blue;
                const bool white = r.seen == kWhite || (r.seen == kLowerHalfOnly && y < kH / 2);
                ASSERT_EQ(Rgb(after, x, y), white ? 0xFFFFFFu : map) << r.name << " at " << x << "," << y;
                if (x % 2 == 1 && y % 2 == 1) {  // 1:2 reads the pixel under each centre
                    ASSERT_EQ(Rgb(scaled, x / 2, y / 2), white ? 0xFFFFFFu : map) << r.name << " 1:2 at " << x << "," << y;
                }
            }
        EXPECT_EQ(Rgb(before, 3, 7), (12u << 16 | 35u << 8 | 0x40)) << r.name;
        DeleteObject(map);
    }
    std::filesystem::remove_all(root);
}

TEST(ChangingMap, CutShortByAnotherThreadDuringPaintsNeverCrashes)
{
    // 1024 x 1024, 3 MiB: a paint reads hundreds of pages, and the other thread cuts
    // the file to a page and writes it back all the time. Bounded: until the cut has
    // landed during a paint a few times, or ten seconds.
    EnsureQtApplication();
    const std::string root = MakeTempFolder(), path = root + "/big.bmp";
    SetDeviceRoot(root);
    QImage image(1024, 1024, QImage::Format_RGB32);
    image.fill(qRgb(0x20, 0x90, 0x50));
    ASSERT_TRUE(image.save(QString::fromStdString(path), "BMP"));
    const std::string whole = [&] { std::ifstream in(path, std::ios::binary); return std::string(std::istreambuf_iterator<char>(in), {}); }();
    BitmapHandle map = LoadBitmapFile(u"\\big.bmp");
    ASSERT_NE(map, nullptr);
    std::atomic<bool> stop{false};
    std::thread cutter([&] {
        while (!stop) {
            truncate(path.c_str(), 4096);
            const int fd = open(path.c_str(), O_WRONLY);
            if (fd >= 0) (void)!pwrite(fd, whole.data(), whole.size(), 0), close(fd);
        }
    });
    SetVerbose(1);
    int cuts = 0, paints = 0;
    QElapsedTimer clock;
    for (clock.start(); clock.elapsed() < 10000 && cuts < 3;) {
        const std::string said = Capture(2, [&] {
            for (int i = 0; i < 40; ++i, ++paints) Painted(map, paints % 2 == 1, 700, 700);
        });
        for (size_t at = 0; (at = said.find("during a paint", at)) != std::string::npos; ++at) ++cuts;
    }
    SetVerbose(0);
    stop = true;
    cutter.join();
    EXPECT_GT(cuts, 0) << "in " << paints << " paints, the file was never cut during one";
    // Once the file is whole again, the whole map is drawn.
    const QImage after = Painted(map, false, 700, 700);
    EXPECT_EQ(Rgb(after, 0, 0), 0x209050u);
    EXPECT_EQ(Rgb(after, 699, 699), 0x209050u);
    std::printf("%d paints, the file cut during %d of them\n", paints, cuts);
    DeleteObject(map);
    std::filesystem::remove_all(root);
}

}  // namespace
