// Painted frames of the main view in a real offscreen window, checked pixel by
// pixel: the map placed with the AND transfer, the overlays placed without the
// calibration shift, the texts compared with reference renderings of the exact
// strings, the proximity sound through an ALSA file sink, and bad bitmaps.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>

#include <QImage>

#include "app/globals.h"
#include "gps/gps_state.h"
#include "platform/qt/qt_handles.h"
#include "platform/sound.h"
#include "store/maps.h"
#include "store/prefs.h"
#include "store/settings.h"
#include "base/text.h"
#include "view/transform.h"
#include "view/view.h"
#include "view_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace viewtest;

constexpr int32_t kW = 240;
constexpr int32_t kH = 268;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlue = 0x0000FF;  // colourTable[2] as 0xRRGGBB

// The test map: 200 x 150 pixels at one metre per pixel.
constexpr int32_t kMapW = 200;
constexpr int32_t kMapH = 150;
constexpr double kLeftX = 700000.0;
constexpr double kTopY = 5000150.0;

// Every pixel a different colour, never pure blue or white, so that a misplaced
// map, a copy instead of an AND, or an overlay shows up.
uint32_t MapPattern(int32_t x, int32_t y)
{
    return (uint32_t(x & 0xFF) << 16) | (uint32_t(y & 0xFF) << 8) | uint32_t(0x40 + ((x >> 8) << 2) + (y >> 8));
}

uint32_t Rgb(const QImage& image, int32_t x, int32_t y) { return image.pixel(x, y) & 0xFFFFFF; }

std::string ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A mono 16-bit wave of n samples all equal to value, and the raw bytes it must
// leave in the sink.
std::string ToneWave(int16_t value, int n, std::string* raw)
{
    raw->clear();
    for (int i = 0; i < n; ++i) {
        raw->push_back(static_cast<char>(value & 0xFF));
        raw->push_back(static_cast<char>((value >> 8) & 0xFF));
    }
    std::string s = "RIFF";
    auto le = [&s](uint32_t v, int bytes) {
        for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    le(36 + static_cast<uint32_t>(raw->size()), 4);
    s += "WAVEfmt ";
    le(16, 4); le(1, 2); le(1, 2); le(8000, 4); le(16000, 4); le(2, 2); le(16, 2);
    s += "data";
    le(static_cast<uint32_t>(raw->size()), 4);
    return s + *raw;
}

// Regions the overlays may cover, excluded from the map comparisons.
struct Box {
    int32_t left, top, right, bottom;  // inclusive left/top, exclusive right/bottom
    bool Holds(int32_t x, int32_t y) const { return x >= left && x < right && y >= top && y < bottom; }
};
const Box kCircleBox = {kW / 2 - 8, kH / 2 - 8, kW / 2 + 9, kH / 2 + 9};
const Box kBottomTextBand = {0, 238, kW, kH};
const Box kTopTextBand = {0, 8, kW, 40};
const Box kArrowBox = {180, 230, 212, 262};

class PaintTest : public ::testing::Test {
protected:
    static std::string root;
    static WindowHandle window;

    static void SetUpTestSuite()
    {
        root = SetUpViewWorld();
        ASSERT_FALSE(root.empty());
        window = CreateViewWindow(kW, kH);
        ASSERT_NE(window, nullptr);
        WriteFile(root + "/My Documents/Velkar/test.bmp", BmpBytes(kMapW, kMapH, 24, false, MapPattern));
    }

    static void TearDownTestSuite()
    {
        DestroyMainWindow(window);
        TearDownViewWorld();
    }

    void SetUp() override
    {
        SetReferenceText(nullptr, 0, 0);
        currentMap = 0;
        MapEntry& m = mapTable[0];
        CopyText(m.bitmapPath, kBitmapPathSize, u"\\My Documents\\Velkar\\test.bmp");
        m.widthPx = kMapW;
        m.heightPx = kMapH;
        m.topLeftX = kLeftX;
        m.topLeftY = kTopY;
        m.bottomRightX = kLeftX + kMapW;
        m.bottomRightY = kTopY - kMapH;
        m.calibX = 0;
        m.calibY = 0;
        SwitchMapBitmap();
        ASSERT_NE(mapBitmap, nullptr);

        settings.trackToTarget = 0;
        settings.proximity = 0;
        settings.audioMessages = 0;
        gotoActive = 0;
        lastPrefIndex = -1;
        selectedPref = 0;
        for (PrefPoint& p : prefTable) p = PrefPoint{};
        // Map pixel (50, 49): column 50.5 -> 50, row 150 - 100.5 = 49.5 -> 49, so
        // the bitmap's corner goes to (120 - 50, 134 - 49) = (70, 85).
        SetState(1, kLeftX + 50.5, kTopY - 49.5, 0.0, 100.0);
        fs::remove(SinkPath());
    }

    static void SetState(int fix, double easting, double northing, double speed, double course)
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState.fixQuality = static_cast<uint8_t>(fix);
        gpsState.gridEasting = easting;
        gpsState.gridNorthing = northing;
        gpsState.prevGridEasting = easting;
        gpsState.prevGridNorthing = northing;
        gpsState.speedKmh = speed;
        gpsState.course = course;
    }

    static void SetPrevious(double easting, double northing)
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState.prevGridEasting = easting;
        gpsState.prevGridNorthing = northing;
    }

    // A reference frame holding only text at (left, top), drawn by the platform
    // with the view's font and colour.
    static QImage ReferenceText(const char16_t* text, int32_t left, int32_t top)
    {
        SetReferenceText(text, left, top);
        QImage image = PaintFrame(window);
        SetReferenceText(nullptr, 0, 0);
        return image;
    }

    // Pixels of box that differ between two frames.
    static int Differences(const QImage& a, const QImage& b, const Box& box)
    {
        int n = 0;
        for (int32_t y = box.top; y < box.bottom; ++y)
            for (int32_t x = box.left; x < box.right; ++x)
                if (Rgb(a, x, y) != Rgb(b, x, y)) ++n;
        return n;
    }

    static int CountColour(const QImage& image, const Box& box, uint32_t colour)
    {
        int n = 0;
        for (int32_t y = box.top; y < box.bottom; ++y)
            for (int32_t x = box.left; x < box.right; ++x)
                if (Rgb(image, x, y) == colour) ++n;
        return n;
    }

    // Every pixel outside the excluded boxes shows the map drawn at (left, top),
    // or white where the map does not reach. Returns the number of wrong pixels
    // (and reports the first).
    static int MapMismatches(const QImage& frame, int32_t left, int32_t top, std::initializer_list<Box> excluded)
    {
        int wrong = 0;
        for (int32_t y = 0; y < kH; ++y)
            for (int32_t x = 0; x < kW; ++x) {
                bool skip = false;
                for (const Box& b : excluded) skip = skip || b.Holds(x, y);
                if (skip) continue;
                const int32_t mx = x - left, my = y - top;
                const bool onMap = mx >= 0 && mx < kMapW && my >= 0 && my < kMapH;
                const uint32_t expected = onMap ? MapPattern(mx, my) : kWhite;
                if (Rgb(frame, x, y) != expected) {
                    if (wrong == 0) ADD_FAILURE() << "first wrong pixel (" << x << ", " << y << "): " << std::hex
                                                  << Rgb(frame, x, y) << " instead of " << expected;
                    ++wrong;
                }
            }
        return wrong;
    }
};

std::string PaintTest::root;
WindowHandle PaintTest::window = nullptr;

TEST_F(PaintTest, NoFixNoGotoShowsOnlyTheTextCircleAndArrow)
{
    // Switches all on and a marked point on the position: none of it may show
    // without a fix or a GoTo, and no sound plays.
    settings.trackToTarget = 1;
    settings.proximity = 1;
    settings.audioMessages = 1;
    lastPrefIndex = 0;
    prefTable[0].alert = 1;
    prefTable[0].x = kLeftX + 50.5;
    prefTable[0].y = kTopY - 49.5;
    CopyText(prefTable[0].soundFile, kSoundFileSize, u"\\bip.wav");
    std::string raw;
    WriteFile(root + "/Scheda di memoria/Velkar/bip.wav", ToneWave(1000, 100, &raw));
    SetPrevious(kLeftX + 20.5, kTopY - 49.5);
    SetState(0, kLeftX + 50.5, kTopY - 49.5, 33.0, 100.0);

    const QImage frame = PaintFrame(window);
    ASSERT_EQ(frame.width(), kW);
    ASSERT_EQ(frame.height(), kH);
    // White everywhere but the circle, the text band and the arrow: no map, no
    // track line, no proximity text.
    EXPECT_EQ(MapMismatches(frame, 100000, 100000, {kCircleBox, kBottomTextBand, kArrowBox}), 0);
    EXPECT_FALSE(fs::exists(SinkPath())) << "no sound without a fix";
    // The circle: a blue dashed ring of radius 6 around the centre, white inside.
    EXPECT_EQ(Rgb(frame, kW / 2, kH / 2), kWhite);
    EXPECT_GT(CountColour(frame, kCircleBox, kBlue), 8);
    EXPECT_EQ(CountColour(frame, Box{kW / 2 - 2, kH / 2 - 2, kW / 2 + 2, kH / 2 + 2}, kBlue), 0);
    // "GPS Not Fixed" at (1, 240), exactly as the platform draws that string.
    const QImage reference = ReferenceText(u"GPS Not Fixed", 1, 240);
    const Box textLeftOfArrow = {0, 238, 180, kH};
    EXPECT_GT(CountColour(reference, textLeftOfArrow, kBlue), 20);
    EXPECT_EQ(Differences(frame, reference, textLeftOfArrow), 0);
    // The arrow for course 100 (index 2) with its top-left corner at (180, 230).
    EXPECT_EQ(Rgb(frame, 180, 230), ArrowColour(2));
    EXPECT_EQ(Rgb(frame, 211, 261), ArrowColour(2));
    EXPECT_EQ(Rgb(frame, 179, 246), kWhite);
    EXPECT_EQ(Rgb(frame, 212, 246), kWhite);
}

TEST_F(PaintTest, ArrowFollowsTheCourse)
{
    struct Row {
        double course;
        int index;
    };
    const Row rows[] = {{45.0, 0}, {45.1, 1}, {180.0, 3}, {180.5, 5}, {270.0, 6}, {300.0, 7}, {0.0, 0}, {NAN, 0}};
    for (const Row& r : rows) {
        SetState(0, kLeftX, kTopY, 0.0, r.course);
        const QImage frame = PaintFrame(window);
        EXPECT_EQ(Rgb(frame, 196, 246), ArrowColour(r.index)) << "course " << r.course;
    }
}

TEST_F(PaintTest, FixDrawsTheMapAtTheComputedOrigin)
{
    const QImage frame = PaintFrame(window);
    EXPECT_EQ(MapMismatches(frame, 70, 85, {kCircleBox, kBottomTextBand, kArrowBox}), 0);
    // The circle is filled white over the map.
    EXPECT_EQ(Rgb(frame, kW / 2, kH / 2), kWhite);
    // A fix of quality 2 counts like 1.
    SetState(2, kLeftX + 50.5, kTopY - 49.5, 0.0, 100.0);
    EXPECT_EQ(MapMismatches(PaintFrame(window), 70, 85, {kCircleBox, kBottomTextBand, kArrowBox}), 0);
}

TEST_F(PaintTest, GotoWithoutFixDrawsTheMapAndSaysNotFixed)
{
    SetState(0, kLeftX + 50.5, kTopY - 49.5, 0.0, 100.0);
    gotoActive = 1;
    const QImage frame = PaintFrame(window);
    gotoActive = 0;
    EXPECT_EQ(MapMismatches(frame, 70, 85, {kCircleBox, kBottomTextBand, kArrowBox}), 0);
    // Map below the text band's right end, so compare only the text's own width.
    const QImage reference = ReferenceText(u"GPS Not Fixed", 1, 240);
    int textRight = 0;
    for (int32_t x = 0; x < 180; ++x)
        if (CountColour(reference, Box{x, 238, x + 1, kH}, kBlue) > 0) textRight = x;
    ASSERT_GT(textRight, 50);
    EXPECT_EQ(Differences(frame, reference, Box{0, 240, textRight + 1, 262}), 0);
}

TEST_F(PaintTest, TransferIsAndNotCopy)
{
    // Without erasing, a second transfer shifted by the calibration lands on the
    // first one: each pixel must be the AND of the two map pixels.
    PaintFrame(window, 1);
    mapTable[0].calibX = 3;   // bitmap 3 left, 2 up: corner at (67, 83)
    mapTable[0].calibY = 2;
    const QImage frame = PaintFrame(window, 0);
    int wrong = 0;
    for (int32_t y = 0; y < kH; ++y)
        for (int32_t x = 0; x < kW; ++x) {
            if (kCircleBox.Holds(x, y) || kBottomTextBand.Holds(x, y) || kArrowBox.Holds(x, y)) continue;
            auto at = [](int32_t mx, int32_t my) {
                return (mx >= 0 && mx < kMapW && my >= 0 && my < kMapH) ? MapPattern(mx, my) : kWhite;
            };
            const uint32_t expected = at(x - 70, y - 85) & at(x - 67, y - 83);
            if (Rgb(frame, x, y) != expected) ++wrong;
        }
    EXPECT_EQ(wrong, 0);
    // And the AND really differs from a copy somewhere in the overlap.
    EXPECT_NE(MapPattern(10, 10) & MapPattern(13, 12), MapPattern(13, 12));
}

TEST_F(PaintTest, TrackLineRunsFromPreviousThroughCentreToTarget)
{
    settings.trackToTarget = 1;
    // Previous position 30 m west: P0 = (90, 134). Target 60 m north: straight up.
    SetPrevious(kLeftX + 20.5, kTopY - 49.5);
    lastPrefIndex = 1;
    selectedPref = 1;
    prefTable[1].x = kLeftX + 50.5;
    prefTable[1].y = kTopY - 49.5 + 60.0;
    // Where the target lands (the arithmetic is tested on its own).
    int32_t tx = 0, ty = 0;
    GridToScreen(kLeftX + 50.5, kTopY - 49.5, prefTable[1].x, prefTable[1].y, kW, kH, &tx, &ty);
    ASSERT_EQ(tx, 120);
    ASSERT_LT(ty, 90);
    // Blank map so that only the overlays are blue.
    if (mapBitmap != nullptr) DeleteObject(mapBitmap);
    mapBitmap = nullptr;
    const QImage frame = PaintFrame(window);

    // Segment P0 -> centre: along row 134, from x 90 to the circle.
    EXPECT_GT(CountColour(frame, Box{90, 133, 112, 136}, kBlue), 15);
    // Segment centre -> target: along column 120, from the circle up to the target.
    EXPECT_GT(CountColour(frame, Box{119, ty + 4, 122, kH / 2 - 8}, kBlue), 15);
    // The target's circle around (tx, ty), white in its middle.
    EXPECT_GT(CountColour(frame, Box{tx - 3, ty - 3, tx + 4, ty + 4}, kBlue), 4);
    // Nothing beyond P0, nothing beyond the target, no direct line P0 -> target.
    EXPECT_EQ(CountColour(frame, Box{0, 120, 87, 150}, kBlue), 0);
    EXPECT_EQ(CountColour(frame, Box{100, 0, 140, ty - 4}, kBlue), 0);
    EXPECT_EQ(CountColour(frame, Box{100, ty + 10, 114, 125}, kBlue), 0);

    // No movement: P0 is the centre and only the upward segment shows.
    SetPrevious(kLeftX + 50.5, kTopY - 49.5);
    const QImage still = PaintFrame(window);
    EXPECT_EQ(CountColour(still, Box{0, 120, 112, 150}, kBlue), 0);
    EXPECT_GT(CountColour(still, Box{119, ty + 4, 122, kH / 2 - 8}, kBlue), 15);
}

TEST_F(PaintTest, CalibrationMovesTheMapButNotTheOverlays)
{
    settings.trackToTarget = 1;
    SetPrevious(kLeftX + 20.5, kTopY - 29.5);
    lastPrefIndex = 0;
    prefTable[0].x = kLeftX + 90.5;
    prefTable[0].y = kTopY - 89.5;
    const QImage a = PaintFrame(window);
    mapTable[0].calibX = 7;   // bitmap 7 left, 4 down
    mapTable[0].calibY = -4;
    const QImage b = PaintFrame(window);

    // The blue overlay pixels (the pattern holds no pure blue) sit in the same
    // places, texts aside.
    int overlayPixels = 0, moved = 0;
    for (int32_t y = 0; y < 238; ++y)
        for (int32_t x = 0; x < kW; ++x) {
            const bool blueA = Rgb(a, x, y) == kBlue;
            if (blueA) ++overlayPixels;
            if (blueA != (Rgb(b, x, y) == kBlue)) ++moved;
        }
    EXPECT_GT(overlayPixels, 40);
    EXPECT_EQ(moved, 0);
    // The map moved: corner (70, 85) without, (70 - 7, 85 + 4) with the shift; the
    // track line (90, 114) -> (120, 134) -> (160, 174) is left out of the comparison.
    const Box track = {86, 110, 166, 180};
    EXPECT_EQ(MapMismatches(a, 70, 85, {kCircleBox, kBottomTextBand, kArrowBox, track}), 0);
    EXPECT_EQ(MapMismatches(b, 63, 89, {kCircleBox, kBottomTextBand, kArrowBox, track}), 0);
    EXPECT_EQ(Rgb(b, 80, 100), Rgb(a, 87, 96));
}

TEST_F(PaintTest, SpeedTextWithOneDecimal)
{
    struct Row {
        double speed;
        const char16_t* shown;
        const char16_t* notShown;
    };
    const Row rows[] = {{12.36, u"Fix  12.4Km/h", u"Fix  12.3Km/h"}, {0.0, u"Fix  0.0Km/h", u"Fix  0Km/h"}};
    // Map out of the way (bitmap corner at the centre) so the band is white.
    for (const Row& r : rows) {
        SetState(1, kLeftX, kTopY, r.speed, 100.0);
        const QImage frame = PaintFrame(window);
        const Box band = {0, 240, 120, kH};
        const QImage shown = ReferenceText(r.shown, 1, 245);
        const QImage other = ReferenceText(r.notShown, 1, 245);
        EXPECT_GT(CountColour(shown, band, kBlue), 20);
        EXPECT_EQ(Differences(frame, shown, band), 0);
        EXPECT_GT(Differences(frame, other, band), 0);
    }
}

TEST_F(PaintTest, HugeSpeedIsCutNotOverflowed)
{
    // 1e300 km/h has 301 digits before the point: the text is cut at the buffer.
    SetState(1, kLeftX, kTopY, 1e300, 100.0);
    const QImage frame = PaintFrame(window);
    EXPECT_GT(CountColour(frame, Box{0, 245, 120, kH}, kBlue), 20);
    SetState(1, kLeftX, kTopY, -INFINITY, 100.0);
    PaintFrame(window);
    SetState(1, kLeftX, kTopY, NAN, 100.0);
    PaintFrame(window);
}

TEST_F(PaintTest, ProximityIndicatorAndSound)
{
    settings.proximity = 1;
    settings.audioMessages = 1;
    std::string raw2, raw3;
    WriteFile(root + "/Scheda di memoria/Velkar/due.wav", ToneWave(2222, 300, &raw2));
    WriteFile(root + "/Scheda di memoria/Velkar/tre.wav", ToneWave(-3333, 200, &raw3));
    // The map's corner at the centre, so the indicator's band is on white.
    const double e = kLeftX, n = kTopY;
    SetState(1, e, n, 0.0, 100.0);
    lastPrefIndex = 3;
    prefTable[0] = PrefPoint{e + 500.0, n, 1, u"\\uno.wav", u""};
    prefTable[1] = PrefPoint{e, n, 0, u"\\uno.wav", u""};
    prefTable[2] = PrefPoint{e + 20.0, n - 20.0, 1, u"\\due.wav", u""};
    prefTable[3] = PrefPoint{e + 1.0, n, 1, u"\\tre.wav", u""};
    const Box band = {0, 10, 110, 34};

    // Index 2 is the first marked point in range: "!2", and only its sound.
    QImage frame = PaintFrame(window);
    EXPECT_EQ(ReadBytes(SinkPath()), raw2);
    const QImage bang2 = ReferenceText(u"!2", 1, 10);
    EXPECT_GT(CountColour(bang2, band, kBlue), 10);
    EXPECT_EQ(Differences(frame, bang2, band), 0);
    // Again at the next paint, as long as it stays in range.
    fs::remove(SinkPath());
    PaintFrame(window);
    EXPECT_EQ(ReadBytes(SinkPath()), raw2);

    // Audio off: shown, not heard.
    settings.audioMessages = 0;
    fs::remove(SinkPath());
    frame = PaintFrame(window);
    EXPECT_FALSE(fs::exists(SinkPath()));
    EXPECT_EQ(Differences(frame, bang2, band), 0);

    // Nothing in range: "?" and no sound.
    settings.audioMessages = 1;
    SetState(1, e - 1000.0, n, 0.0, 100.0);
    mapTable[0].calibX = -100000;  // keep the map out of the band
    frame = PaintFrame(window);
    EXPECT_FALSE(fs::exists(SinkPath()));
    const QImage question = ReferenceText(u"?", 1, 10);
    EXPECT_GT(CountColour(question, band, kBlue), 5);
    EXPECT_EQ(Differences(frame, question, band), 0);
    EXPECT_GT(Differences(bang2, question, band), 0);

    // A missing sound file still shows the index and plays the default tone.
    SetState(1, e, n, 0.0, 100.0);
    prefTable[2].soundFile[1] = u'X';
    PaintFrame(window);
    EXPECT_EQ(ReadBytes(SinkPath()).size(), size_t(kDefaultToneFrames) * 2);

    // Proximity off: no text and no sound.
    settings.proximity = 0;
    fs::remove(SinkPath());
    frame = PaintFrame(window);
    EXPECT_FALSE(fs::exists(SinkPath()));
    EXPECT_EQ(CountColour(frame, band, kBlue), 0);
}

TEST_F(PaintTest, MapWithoutScaleIsSkippedAndTheRestDrawn)
{
    mapTable[0].bottomRightX = mapTable[0].topLeftX;  // equal eastings
    settings.trackToTarget = 1;
    settings.proximity = 1;
    const QImage frame = PaintFrame(window);
    EXPECT_EQ(MapMismatches(frame, 100000, 100000, {kCircleBox, kBottomTextBand, kArrowBox, kTopTextBand,
                                                    Box{0, 0, kW, kH / 2 + 9}}), 0);
    EXPECT_GT(CountColour(frame, kCircleBox, kBlue), 8);
    EXPECT_EQ(Rgb(frame, 196, 246), ArrowColour(2));
    const QImage question = ReferenceText(u"?", 1, 10);
    EXPECT_EQ(Differences(frame, question, Box{0, 10, 110, 34}), 0);
}

TEST_F(PaintTest, BitmapsThatCannotBeLoadedLeaveTheMapEmpty)
{
    std::string truncated = BmpBytes(kMapW, kMapH, 24, false, MapPattern);
    truncated.resize(truncated.size() / 2);
    std::string lying = BmpBytes(kMapW, kMapH, 24, false, MapPattern);
    lying[18] = '\x00'; lying[19] = '\x00'; lying[20] = '\x00'; lying[21] = '\x40';  // width 2^30
    std::string headerOnly = BmpBytes(kMapW, kMapH, 24, false, MapPattern).substr(0, 30);
    struct Row {
        const char* name;
        std::string bytes;  // empty: no file at all
    };
    const Row rows[] = {{"missing file", ""}, {"truncated pixels", truncated}, {"header lies about the width", lying},
                        {"header cut short", headerOnly}, {"not a bitmap", "just some text\n"}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const std::string path = root + "/My Documents/Velkar/bad.bmp";
        fs::remove(path);
        if (!r.bytes.empty()) WriteFile(path, r.bytes);
        CopyText(mapTable[0].bitmapPath, kBitmapPathSize, u"\\My Documents\\Velkar\\bad.bmp");
        SwitchMapBitmap();
        EXPECT_EQ(mapBitmap, nullptr);
        const QImage frame = PaintFrame(window);
        EXPECT_EQ(MapMismatches(frame, 100000, 100000, {kCircleBox, kBottomTextBand, kArrowBox}), 0);
        EXPECT_EQ(Rgb(frame, 196, 246), ArrowColour(2));
    }
}

TEST_F(PaintTest, BitmapDepthsAndOrientationsLoadThroughTheSwitch)
{
    struct Row {
        const char* name;
        int bits;
        bool topDown;
    };
    const Row rows[] = {{"24 bottom-up", 24, false}, {"24 top-down", 24, true}, {"32 bottom-up", 32, false},
                        {"32 top-down", 32, true}, {"8 palette bottom-up", 8, false}, {"8 palette top-down", 8, true}};
    // At most 256 colours for the palette: a coarse version of the pattern.
    auto coarse = [](int32_t x, int32_t y) { return MapPattern((x / 13) * 13, (y / 10) * 10) ; };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        WriteFile(root + "/My Documents/Velkar/depth.bmp", BmpBytes(kMapW, kMapH, r.bits, r.topDown, coarse));
        CopyText(mapTable[0].bitmapPath, kBitmapPathSize, u"\\My Documents\\Velkar\\depth.bmp");
        SwitchMapBitmap();
        ASSERT_NE(mapBitmap, nullptr);
        int32_t w = 0, h = 0;
        GetBitmapSize(mapBitmap, &w, &h);
        EXPECT_EQ(w, kMapW);
        EXPECT_EQ(h, kMapH);
        const QImage frame = PaintFrame(window);
        int wrong = 0;
        for (int32_t y = 0; y < kMapH; y += 3)
            for (int32_t x = 0; x < kMapW; x += 3) {
                const int32_t cx = 70 + x, cy = 85 + y;
                if (cx >= kW || cy >= kH || kCircleBox.Holds(cx, cy) || kBottomTextBand.Holds(cx, cy) ||
                    kArrowBox.Holds(cx, cy))
                    continue;
                if (Rgb(frame, cx, cy) != coarse(x, y)) ++wrong;
            }
        EXPECT_EQ(wrong, 0);
    }
}

}  // namespace

namespace {

TEST(PaintLayoutTest, LargeClientKeepsAbsoluteTextAndArrowPositions)
{
    // On 1280 x 800 the circle follows the centre while the texts and the arrow
    // stay where the handheld's layout put them.
    using namespace viewtest;
    const std::string root = SetUpViewWorld();
    WindowHandle window = CreateViewWindow(1280, 800);
    ASSERT_NE(window, nullptr);
    if (mapBitmap != nullptr) DeleteObject(mapBitmap);
    mapBitmap = nullptr;
    settings.proximity = 0;
    settings.trackToTarget = 0;
    gotoActive = 0;
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        gpsState.fixQuality = 0;
        gpsState.course = 200.0;  // south-west: index 5
    }
    const QImage frame = PaintFrame(window);
    ASSERT_EQ(frame.width(), 1280);
    ASSERT_EQ(frame.height(), 800);
    EXPECT_EQ(frame.pixel(640, 400) & 0xFFFFFF, 0xFFFFFFu);
    int ring = 0;
    for (int y = 392; y < 409; ++y)
        for (int x = 632; x < 649; ++x) ring += (frame.pixel(x, y) & 0xFFFFFF) == 0x0000FF;
    EXPECT_GT(ring, 8);
    EXPECT_EQ(frame.pixel(196, 246) & 0xFFFFFF, ArrowColour(5));
    int text = 0;
    for (int y = 240; y < 262; ++y)
        for (int x = 0; x < 180; ++x) text += (frame.pixel(x, y) & 0xFFFFFF) == 0x0000FF;
    EXPECT_GT(text, 20);
    // Nothing at the foot of the large client.
    for (int y = 700; y < 800; ++y)
        for (int x = 0; x < 1280; x += 7) ASSERT_EQ(frame.pixel(x, y) & 0xFFFFFF, 0xFFFFFFu);
    DestroyMainWindow(window);
    TearDownViewWorld();
}

}  // namespace
