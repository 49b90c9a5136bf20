// Painted frames of the main view in a real offscreen window, checked pixel by
// pixel: the map placed with the AND transfer, overlays free of the calibration
// shift, texts compared with the platform's own rendering of the exact strings,
// the proximity sound through the ALSA file sink, and maps that cannot be loaded.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <mutex>

#include "app/globals.h"
#include "base/text.h"
#include "gps/gps_state.h"
#include "platform/draw.h"
#include "platform/sound.h"
#include "store/maps.h"
#include "store/prefs.h"
#include "store/settings.h"
#include "view/proximity.h"
#include "view/transform.h"
#include "view/view.h"
#include "view_fixture.h"

namespace {

using namespace viewtest;
using Corners = std::initializer_list<std::pair<int32_t, int32_t>>;
constexpr int32_t kW = 240, kH = 268, kMapW = 200, kMapH = 150;  // the test map: one metre per pixel
constexpr uint32_t kWhite = 0xFFFFFF, kBlue = 0x0000FF;            // colourTable[2]
// (kE, kN) is map pixel (50, 49): the map's corner lands at (120 - 50, 134 - 49) = (70, 85).
constexpr double kLeftX = 700000.0, kTopY = 5000150.0, kE = kLeftX + 50.5, kN = kTopY - 49.5;

// Every pixel different, never pure blue or white: a misplaced map, a copy instead of an
// AND, or a stray overlay shows.
uint32_t MapPattern(int32_t x, int32_t y) { return uint32_t(x & 0xFF) << 16 | uint32_t(y & 0xFF) << 8 | 0x40; }
uint32_t Rgb(const QImage& image, int32_t x, int32_t y) { return image.pixel(x, y) & 0xFFFFFF; }
std::string Samples16(int16_t value, int n)  // n samples of one value, as the sink receives them
{
    std::string s;
    while (n-- > 0) s += {char(value & 0xFF), char((value >> 8) & 0xFF)};
    return s;
}

struct Box {
    int32_t left, top, right, bottom;  // right and bottom exclusive
    bool Holds(int32_t x, int32_t y) const { return x >= left && x < right && y >= top && y < bottom; }
};
const Box kCircle = {kW / 2 - 8, kH / 2 - 8, kW / 2 + 9, kH / 2 + 9}, kBottomText = {0, 238, kW, kH},
          kArrow = {180, 230, 212, 262}, kTopText = {0, 10, 110, 34}, kFixText = {0, 240, 120, kH};

// Pixels of box equal to colour (other: pixels of box differing from other's).
int Count(const QImage& image, const Box& box, uint32_t colour, const QImage* other = nullptr)
{
    int n = 0;
    for (int32_t y = box.top; y < box.bottom; ++y)
        for (int32_t x = box.left; x < box.right; ++x)
            n += other ? Rgb(image, x, y) != Rgb(*other, x, y) : Rgb(image, x, y) == colour;
    return n;
}
int Differences(const QImage& a, const QImage& b, const Box& box) { return Count(a, box, 0, &b); }

// Pixels outside the overlays and skip that do not show the AND of the maps drawn at the
// given corners over white (no corners: white everywhere).
int MapMismatches(const QImage& frame, Corners corners, Box skip = {0, 0, 0, 0})
{
    int wrong = 0;
    for (int32_t y = 0; y < kH; ++y)
        for (int32_t x = 0; x < kW; ++x) {
            uint32_t expected = kWhite;
            for (auto [left, top] : corners)
                if (Box{left, top, left + kMapW, top + kMapH}.Holds(x, y)) expected &= MapPattern(x - left, y - top);
            if (kCircle.Holds(x, y) || kBottomText.Holds(x, y) || kArrow.Holds(x, y) || skip.Holds(x, y)) continue;
            if (Rgb(frame, x, y) != expected && wrong++ == 0) ADD_FAILURE() << "first wrong pixel " << x << ", " << y;
        }
    return wrong;
}

class PaintTest : public ::testing::Test {
protected:
    static inline std::string root;
    static inline WindowHandle window = nullptr;
    static void SetUpTestSuite()
    {
        root = SetUpViewWorld();
        window = CreateViewWindow(kW, kH);
        WriteFile(root + "/My Documents/Velkar/test.bmp", BmpBytes(kMapW, kMapH, 24, false, MapPattern));
    }
    static void TearDownTestSuite() { DestroyMainWindow(window), TearDownViewWorld(); }

    void SetUp() override
    {
        ASSERT_NE(window, nullptr);
        MapEntry& m = mapTable[currentMap = 0];
        CopyText(m.bitmapPath, kBitmapPathSize, u"\\My Documents\\Velkar\\test.bmp");
        m.widthPx = kMapW, m.heightPx = kMapH, m.topLeftX = kLeftX, m.topLeftY = kTopY;
        m.bottomRightX = kLeftX + kMapW, m.bottomRightY = kTopY - kMapH, m.calibX = m.calibY = 0;
        SwitchMapBitmap();
        ASSERT_NE(mapBitmap, nullptr);
        settings.trackToTarget = settings.proximity = settings.audioMessages = 0;
        gotoActive = 0, lastPrefIndex = -1, selectedPref = 0;
        for (PrefPoint& p : prefTable) p = PrefPoint{};
        SetState(1, kE, kN);
        std::filesystem::remove(SinkPath());
    }
    // Fix, position, speed, course, and the previous position (default: no movement).
    static void SetState(int fix, double e, double n, double speed = 0, double course = 100, double ePrev = NAN)
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        GpsState& g = gpsState;
        g.fixQuality = uint8_t(fix), g.gridEasting = e, g.gridNorthing = n, g.speedKmh = speed, g.course = course;
        g.prevGridEasting = std::isnan(ePrev) ? e : ePrev, g.prevGridNorthing = n;
    }
    // A frame holding only text at (left, top), as the platform draws it in the view's font.
    static QImage Reference(const char16_t* text, int32_t left, int32_t top)
    {
        SetReferenceText(text, left, top);
        QImage image = PaintFrame(window);
        return SetReferenceText(nullptr, 0, 0), image;
    }
};

TEST_F(PaintTest, NoFixNoGotoShowsOnlyTextCircleAndArrowAndNoSound)
{
    settings.trackToTarget = settings.proximity = settings.audioMessages = 1;
    lastPrefIndex = selectedPref = 0;
    prefTable[0] = PrefPoint{kE, kN - 40, 1, u"\\bip.wav", u""};
    WriteFile(root + "/Scheda di memoria/Velkar/bip.wav", WaveBytes(1, 1, 8000, 16, Samples16(1000, 100)));
    SetState(0, kE, kN, 33.0, 100.0, kE - 30.0);
    const QImage frame = PaintFrame(window), notFixed = Reference(u"GPS Not Fixed", 1, 240);
    ASSERT_EQ(frame.size(), QSize(kW, kH));
    EXPECT_EQ(MapMismatches(frame, {}), 0);
    EXPECT_FALSE(std::filesystem::exists(SinkPath())) << "no sound without a fix";
    EXPECT_GT(Count(frame, kCircle, kBlue), 8);  // a blue dashed ring of radius 6, white inside
    EXPECT_EQ(Count(frame, Box{kW / 2 - 2, kH / 2 - 2, kW / 2 + 2, kH / 2 + 2}, kBlue), 0);
    EXPECT_GT(Count(notFixed, Box{0, 238, 180, kH}, kBlue), 20);
    EXPECT_EQ(Differences(frame, notFixed, Box{0, 238, 180, kH}), 0);
    // The arrow for course 100 (index 2), its 32 x 32 icon at (180, 230).
    EXPECT_TRUE(Rgb(frame, 180, 230) == ArrowColour(2) && Rgb(frame, 211, 261) == ArrowColour(2));
    EXPECT_TRUE(Rgb(frame, 179, 246) == kWhite && Rgb(frame, 212, 246) == kWhite);
}

TEST_F(PaintTest, FixOrGotoDrawsTheMapAtTheOriginWithAnd)
{
    for (auto [fix, goTo] : {std::pair{1, 0}, {2, 0}, {0, 1}}) {
        SetState(fix, kE, kN);
        gotoActive = goTo;
        const QImage frame = PaintFrame(window);
        EXPECT_EQ(MapMismatches(frame, {{70, 85}}), 0) << "fix " << fix;
        EXPECT_EQ(Rgb(frame, kW / 2, kH / 2), kWhite);  // the circle is filled white over the map
    }
    // Unerased, a second transfer shifted 3 left and 2 up lands on the first: the AND of both.
    mapTable[0].calibX = 3, mapTable[0].calibY = 2;
    EXPECT_EQ(MapMismatches(PaintFrame(window, 0), {{70, 85}, {67, 83}}), 0);
}

TEST_F(PaintTest, TrackLineRunsFromPreviousThroughCentreToTargetAndIgnoresCalibration)
{
    // Previous position 30 m west: P0 = (90, 134). Target 60 m north, straight up.
    settings.trackToTarget = 1;
    lastPrefIndex = selectedPref = 1;
    prefTable[1] = PrefPoint{kE, kN + 60.0, 0, u"", u""};
    SetState(1, kE, kN, 0, 100, kE - 30.0);
    int32_t tx = 0, ty = 0;
    GridToScreen(kE, kN, kE, kN + 60.0, kW, kH, &tx, &ty);
    ASSERT_TRUE(tx == 120 && ty < 90);
    const QImage withMap = PaintFrame(window);
    DeleteObject(mapBitmap);  // a blank map: only the overlays are blue
    mapBitmap = nullptr;
    const QImage frame = PaintFrame(window);
    EXPECT_GT(Count(frame, Box{90, 133, 112, 136}, kBlue), 15);              // P0 -> centre
    EXPECT_GT(Count(frame, Box{119, ty + 4, 122, kH / 2 - 8}, kBlue), 15);   // centre -> target
    EXPECT_GT(Count(frame, Box{tx - 3, ty - 3, tx + 4, ty + 4}, kBlue), 4);  // the target's circle
    EXPECT_EQ(Count(frame, Box{0, 120, 87, 150}, kBlue), 0);                 // nothing before P0
    EXPECT_EQ(Count(frame, Box{100, 0, 140, ty - 4}, kBlue), 0);             // nor past the target
    EXPECT_EQ(Count(frame, Box{100, ty + 10, 114, 125}, kBlue), 0);          // no P0 -> target line
    // A calibration shift (7 left, 4 down) moves the map, not one blue pixel of the overlays.
    SwitchMapBitmap();
    mapTable[0].calibX = 7, mapTable[0].calibY = -4;
    const QImage shifted = PaintFrame(window);
    int moved = 0;
    for (int32_t y = 0; y < 238; ++y)
        for (int32_t x = 0; x < kW; ++x) moved += (Rgb(withMap, x, y) == kBlue) != (Rgb(shifted, x, y) == kBlue);
    EXPECT_EQ(moved, 0);
    EXPECT_EQ(Count(withMap, Box{0, 0, kW, 238}, kBlue), Count(frame, Box{0, 0, kW, 238}, kBlue));
    EXPECT_EQ(MapMismatches(withMap, {{70, 85}}, Box{86, ty - 8, 129, 138}), 0);
    EXPECT_EQ(MapMismatches(shifted, {{63, 89}}, Box{86, ty - 8, 129, 138}), 0);
}

TEST_F(PaintTest, SpeedTextHasOneDecimalAndHugeSpeedsAreCut)
{
    // Position at the map's corner: the map lies right of and below the centre.
    for (auto [speed, shown, other] : {std::tuple{12.36, u"Fix  12.4Km/h", u"Fix  12.3Km/h"},
                                       {0.0, u"Fix  0.0Km/h", u"Fix  0Km/h"}}) {
        SetState(1, kLeftX, kTopY, speed);
        const QImage frame = PaintFrame(window), expected = Reference(shown, 1, 245);
        EXPECT_GT(Count(expected, kFixText, kBlue), 20);
        EXPECT_EQ(Differences(frame, expected, kFixText), 0) << speed;
        EXPECT_GT(Differences(frame, Reference(other, 1, 245), kFixText), 0) << speed;
    }
    // 1e300 km/h has 301 digits: cut at the 128-unit buffer, not written past it.
    for (double speed : {1e300, -HUGE_VAL, std::nan("")}) {
        SetState(1, kLeftX, kTopY, speed);
        EXPECT_GT(Count(PaintFrame(window), kFixText, kBlue), 20) << speed;
    }
}

TEST_F(PaintTest, ProximityIndicatorAndSound)
{
    settings.proximity = settings.audioMessages = 1;
    const std::string two = Samples16(2222, 300);
    WriteFile(root + "/Scheda di memoria/Velkar/due.wav", WaveBytes(1, 1, 8000, 16, two));
    WriteFile(root + "/Scheda di memoria/Velkar/tre.wav", WaveBytes(1, 1, 8000, 16, Samples16(-3333, 200)));
    const double e = kLeftX, n = kTopY;  // the map's corner at the centre: the band is on white
    SetState(1, e, n);
    lastPrefIndex = 3;
    prefTable[0] = PrefPoint{e + 500.0, n, 1, u"\\uno.wav", u""};
    prefTable[1] = PrefPoint{e, n, 0, u"\\uno.wav", u""};
    prefTable[2] = PrefPoint{e + 20.0, n - 20.0, 1, u"\\due.wav", u""};
    prefTable[3] = PrefPoint{e + 1.0, n, 1, u"\\tre.wav", u""};
    // Index 2 is the first marked point in range: "!2" and its sound only, again at every
    // paint; with audio anything but exactly 1, shown and not heard.
    const QImage bang2 = Reference(u"!2", 1, 10), question = Reference(u"?", 1, 10);
    EXPECT_GT(Count(bang2, kTopText, kBlue), 10);
    for (int32_t audio : {1, 1, 0, 2}) {
        settings.audioMessages = audio;
        std::filesystem::remove(SinkPath());
        EXPECT_EQ(Differences(PaintFrame(window), bang2, kTopText), 0);
        EXPECT_EQ(ReadFile(SinkPath()), audio == 1 ? two : "") << "audio " << audio;
    }
    // Nothing in range: "?" and no sound.
    settings.audioMessages = 1;
    SetState(1, e - 1000.0, n);
    mapTable[0].calibX = -100000;  // the map out of the band
    EXPECT_EQ(Differences(PaintFrame(window), question, kTopText), 0);
    EXPECT_GT(Differences(bang2, question, kTopText), 0);
    EXPECT_FALSE(std::filesystem::exists(SinkPath()));
    // Proximity off: no text, no sound.
    settings.proximity = 0;
    std::filesystem::remove(SinkPath());
    EXPECT_EQ(Count(PaintFrame(window), kTopText, kBlue), 0);
    EXPECT_FALSE(std::filesystem::exists(SinkPath()));
    // A sound directory longer than the path buffer is cut there, never written past it.
    char16_t saved[kSoundDirectorySize], path[kSoundPathSize + 8];
    CopyText(saved, kSoundDirectorySize, soundDirectory);
    CopyText(soundDirectory, kSoundDirectorySize, std::u16string(200, u'd').c_str());
    std::fill(std::begin(path), std::end(path), u'#');
    BuildPointSoundPath(2, path);
    CopyText(soundDirectory, kSoundDirectorySize, saved);
    EXPECT_EQ(TextLength(path), size_t(kSoundPathSize - 1));
    EXPECT_EQ(std::u16string(path + kSoundPathSize, 8), u"########");
    for (int32_t index : {-1, kPrefCount, 999}) {  // outside the table: an empty path, nothing played
        BuildPointSoundPath(index, path), PlayPointSound(index);
        EXPECT_TRUE(path[0] == 0 && !std::filesystem::exists(SinkPath())) << index;
    }
}

TEST_F(PaintTest, MapBitmapsLoadThroughTheSwitchOrLeaveItEmpty)
{
    // Decoding and refusing bitmaps is proven in tests/platform; here the switch and the paint,
    // with a map without scale (equal eastings) skipped while the rest is drawn.
    const std::string good = BmpBytes(kMapW, kMapH, 32, true, MapPattern);
    const struct { const char* name; std::string bytes; bool loads; } rows[] = {
        {"32 bits top-down", good, true}, {"without scale", good, false}, {"missing file", "", false},
        {"truncated pixels", good.substr(0, good.size() / 2), false}};
    CopyText(mapTable[0].bitmapPath, kBitmapPathSize, u"\\My Documents\\Velkar\\other.bmp");
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        std::filesystem::remove(root + "/My Documents/Velkar/other.bmp");
        if (!r.bytes.empty()) WriteFile(root + "/My Documents/Velkar/other.bmp", r.bytes);
        mapTable[0].bottomRightX = std::string(r.name) == "without scale" ? kLeftX : kLeftX + kMapW;
        SwitchMapBitmap();
        EXPECT_EQ(mapBitmap != nullptr, r.loads || std::string(r.name) == "without scale");
        const QImage frame = PaintFrame(window);
        // A map without scale covers no position: "Off the map" in the top band.
        EXPECT_EQ(MapMismatches(frame, r.loads ? Corners{{70, 85}} : Corners{}, Box{0, 0, kW, 16}), 0);
        EXPECT_EQ(Rgb(frame, 196, 246), ArrowColour(2));
        EXPECT_GT(Count(frame, kCircle, kBlue), 8);
    }
}

}  // namespace
