// A map file that changes while shown: cut short, removed, replaced or rewritten
// between two paints gives what can still be read (white where not) or the new
// file; cut short again and again by another thread during paints, never a crash.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/diagnostics.h"
#include "platform/files.h"
#include "support.h"

namespace {

constexpr int kW = 64, kH = 48;

// Writes a 24-bit bottom-up BMP of kW x kH (Qt's writer: 54 header bytes), pixel
// (x, y) = (4 x, 5 y, blue), then more bytes after it.
void SaveMap(const std::string& path, int blue, const std::string& more = "")
{
    QImage image(kW, kH, QImage::Format_RGB32);
    for (int y = 0; y < kH; ++y)
        for (int x = 0; x < kW; ++x) image.setPixel(x, y, qRgb(4 * x, 5 * y, blue));
    image.save(QString::fromStdString(path), "BMP");
    std::ofstream(path, std::ios::binary | std::ios::app) << more;
}

QImage Painted(BitmapHandle map, int reduction, int w = kW, int h = kH)
{
    return StretchedOnWhite(map, QSize(w, h), {0, 0, w, h}, {0, 0, w * reduction, h * reduction});
}

TEST(ChangingMap, BetweenPaintsWhatCanBeReadOrTheNewFile)
{
    EnsureQtApplication();
    const std::string root = MakeTempFolder(), path = root + "/map.bmp";
    SetDeviceRoot(root);
    const int64_t stride = kW * 3, pixels = 54;
    auto replace = [&](auto write) { write(path + ".new"), std::filesystem::rename(path + ".new", path); };
    enum Seen { kFirst, kLowerHalfOnly, kSecond, kWhite };
    const struct { const char* name; std::function<void()> change; Seen seen; const char* said; } rows[] = {
        {"cut to half its rows (the lower half, stored first)",
         [&] { std::filesystem::resize_file(path, pixels + kH / 2 * stride); }, kLowerHalfOnly, "cut short"},
        {"cut to its header", [&] { std::filesystem::resize_file(path, pixels); }, kWhite, "cut short"},
        {"removed", [&] { std::filesystem::remove(path); }, kFirst, "gone"},
        {"replaced by another map", [&] { replace([](auto p) { SaveMap(p, 0xC0); }); }, kSecond, "loaded anew"},
        {"rewritten in place, longer", [&] { SaveMap(path, 0xC0, "trailing bytes"); }, kSecond, "loaded anew"},
        {"replaced by a text file", [&] { replace([](auto p) { std::ofstream(p) << "not a map\n"; }); }, kWhite, "refused"},
    };
    for (const auto& r : rows) {
        SaveMap(path, 0x40);
        BitmapHandle map = LoadBitmapFile(u"\\map.bmp");
        ASSERT_NE(map, nullptr) << r.name;
        EXPECT_EQ(Rgb(Painted(map, 1), 3, 7), (12u << 16 | 35u << 8 | 0x40)) << r.name;
        r.change();
        SetVerbose(1);
        QImage after, scaled;
        const std::string said = Capture(2, [&] { after = Painted(map, 1), scaled = Painted(map, 2, kW / 2, kH / 2); });
        SetVerbose(0);
        EXPECT_NE(said.find(r.said), std::string::npos) << r.name << ": " << said;
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                const uint32_t blue = r.seen == kSecond ? 0xC0 : 0x40, map = (4u * x) << 16 | (5u * y) << 8 | blue;
                const uint32_t seen = r.seen == kWhite || (r.seen == kLowerHalfOnly && y < kH / 2) ? 0xFFFFFFu : map;
                ASSERT_EQ(Rgb(after, x, y), seen) << r.name << " at " << x << "," << y;
                if (x % 2 == 1 && y % 2 == 1) {  // 1:2 reads the pixel under each centre
                    ASSERT_EQ(Rgb(scaled, x / 2, y / 2), seen) << r.name << " 1:2 at " << x << "," << y;
                }
            }
        DeleteObject(map);
    }
    std::filesystem::remove_all(root);
}

TEST(ChangingMap, CutShortByAnotherThreadDuringPaintsNeverCrashes)
{
    // 1024 x 1024, 3 MiB: a paint reads hundreds of pages while the other thread cuts
    // the file to a page and writes it back, again and again. Bounded: until a cut
    // has landed during a paint three times, or ten seconds.
    EnsureQtApplication();
    const std::string root = MakeTempFolder(), path = root + "/big.bmp";
    SetDeviceRoot(root);
    QImage image(1024, 1024, QImage::Format_RGB32);
    image.fill(qRgb(0x20, 0x90, 0x50));
    ASSERT_TRUE(image.save(QString::fromStdString(path), "BMP"));
    std::ifstream in(path, std::ios::binary);
    const std::string whole{std::istreambuf_iterator<char>(in), {}};
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
            for (int i = 0; i < 40; ++i, ++paints) Painted(map, 1 + paints % 2, 700, 700);
        });
        for (size_t at = 0; (at = said.find("during a paint", at)) != std::string::npos; ++at) ++cuts;
    }
    SetVerbose(0);
    stop = true;
    cutter.join();
    EXPECT_GT(cuts, 0) << "in " << paints << " paints, the file was never cut during one";
    const QImage after = Painted(map, 1, 700, 700);  // the file whole again: the whole map
    EXPECT_EQ(Rgb(after, 0, 0), 0x209050u);
    EXPECT_EQ(Rgb(after, 699, 699), 0x209050u);
    DeleteObject(map);
    std::filesystem::remove_all(root);
}

}  // namespace
