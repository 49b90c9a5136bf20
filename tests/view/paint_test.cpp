// Painted frames of the main view in a real offscreen window, pixel by pixel where the kept reference
// pictures do not reach: the AND transfer, calibration, absurd speeds, the proximity sound on the ALSA file
// sink, maps not drawn; zoom, other sizes, maps followed, dimming, night, trail, target line (ExtendTest);
// and the sound player on that sink (SoundTest).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <mutex>
#include "app/globals.h"
#include "base/text.h"
#include "gps/fix_history.h"
#include "platform/diagnostics.h"
#include "platform/sound.h"
#include "store/prefs.h"
#include "store/settings.h"
#include "store/view_options.h"
#include "view/layout.h"
#include "view/proximity.h"
#include "view/trail.h"
#include "view/transform.h"
#include "view/view.h"
#include "view_fixture.h"

namespace {
using namespace viewtest;
constexpr int32_t kW = 240, kH = 268, kMapW = 200, kMapH = 150;  // the test maps: one metre per pixel
constexpr uint32_t kWhite = 0xFFFFFF, kBlue = 0x0000FF, kPurple = 0x800080;  // colourTable 2 and 11
// (kE, kN) is map pixel (50, 49): the map's corner lands at (120 - 50, 134 - 49) = (70, 85).
constexpr double kLeftX = 700000.0, kTopY = 5000150.0, kE = kLeftX + 50.5, kN = kTopY - 49.5;

// Every pixel different, never pure blue or white: a misplaced map, a copy instead of an AND, or a stray
// overlay shows. The blocks map: 8 x 8 blocks of one colour each, never white or blue.
uint32_t MapPattern(int32_t x, int32_t y) { return uint32_t(x & 0xFF) << 16 | uint32_t(y & 0xFF) << 8 | 0x40; }
uint32_t BlockColour(int32_t x, int32_t y) { return uint32_t((x / 8 * 37) & 0xFF) << 16 | uint32_t((y / 8 * 53) & 0xFF) << 8 | 0x40; }
uint32_t Rgb(const QImage& image, int32_t x, int32_t y) { return image.pixel(x, y) & 0xFFFFFF; }
struct Box {
    int32_t left, top, right, bottom;  // right and bottom exclusive
    bool Holds(int32_t x, int32_t y) const { return x >= left && x < right && y >= top && y < bottom; }
};
const Box kCircle = {kW / 2 - 8, kH / 2 - 8, kW / 2 + 9, kH / 2 + 9}, kBottomText = {0, 238, kW, kH},
          kArrow = {180, 230, 212, 262}, kTopText = {0, 10, 110, 34}, kAll = {0, 0, kW, kH};
// Pixels of box (cut to the image) equal to colour.
int Count(const QImage& image, const Box& box, uint32_t colour)
{
    int n = 0;
    for (int32_t y = std::max(box.top, 0); y < std::min(box.bottom, image.height()); ++y)
        for (int32_t x = std::max(box.left, 0); x < std::min(box.right, image.width()); ++x)
            n += Rgb(image, x, y) == colour;
    return n;
}
// Pixels outside the overlays and skip that do not show the AND of the maps drawn at the given corners
// over white (no corners: white everywhere).
int MapMismatches(const QImage& frame, std::initializer_list<std::pair<int32_t, int32_t>> corners, Box skip = {0, 0, 0, 0})
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
// Map index: bitmap, its left edge's easting, pixels and metres a pixel.
void PlaceMap(int32_t index, const char* file, double leftX, int32_t w, int32_t h, double metres)
{
    MapEntry& m = mapTable[index];
    m = MapEntry{};
    CopyAsciiText(m.bitmapPath, kBitmapPathSize, (std::string("\\My Documents\\Velkar\\") + file).c_str());
    m.widthPx = w, m.heightPx = h, m.topLeftX = leftX, m.topLeftY = kTopY;
    m.bottomRightX = leftX + w * metres, m.bottomRightY = kTopY - h * metres;
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
        WriteFile(root + "/My Documents/Velkar/blocks.bmp", BmpBytes(kMapW, kMapH, 24, false, BlockColour));
    }
    static void TearDownTestSuite() { DestroyMainWindow(window), TearDownViewWorld(); }
    void SetUp() override { Start("test.bmp"); }
    void TearDown() override { SetMapZoomStep(mapTable[0], kZoomOneToOne); }
    void Start(const char* map)
    {
        ASSERT_NE(window, nullptr);
        PlaceMap(currentMap = lastMapIndex = 0, map, kLeftX, kMapW, kMapH, 1.0);
        SwitchMapBitmap();
        ASSERT_NE(mapBitmap, nullptr);
        settings.trackToTarget = settings.proximity = settings.audioMessages = 0;
        gotoActive = 0, lastPrefIndex = -1, selectedPref = 0;
        for (PrefPoint& p : prefTable) p = PrefPoint{};
        viewOptions = ViewOptions{};
        ClearTrail();
        SetState(1, kE, kN);
        std::filesystem::remove(SinkPath());
    }
    // Fix, position, speed, course, and the previous position (default: no movement); an accepted fix.
    static void SetState(int fix, double e, double n, double speed = 0, double course = 100, double ePrev = NAN)
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        GpsState& g = gpsState;
        g.fixQuality = uint8_t(fix), g.gridEasting = e, g.gridNorthing = n, g.speedKmh = speed, g.course = course;
        g.prevGridEasting = std::isnan(ePrev) ? e : ePrev, g.prevGridNorthing = n;
        RecordAcceptedFix(g);
    }
};
struct ExtendTest : PaintTest { void SetUp() override { Start("blocks.bmp"); } };
// DGPS (fix 2) shows the map; previous position 30 m west, target 60 m north: a calibration shift (7 left,
// 4 down) moves the map, not one blue pixel of the line; unerased, the map back in place ANDs onto the last.
TEST_F(PaintTest, DgpsFixTrackLineFreeOfCalibrationAndMapTransferredWithAnd)
{
    settings.trackToTarget = 1, lastPrefIndex = selectedPref = 1;
    prefTable[1] = PrefPoint{kE, kN + 60.0, 0, u"", u""};
    SetState(2, kE, kN, 0, 100, kE - 30.0);
    const Box line = {86, 60, 129, 138};  // from P0 (90, 134) through the centre to the target (120, 74)
    const QImage withMap = PaintFrame(window);
    mapTable[0].calibX = 7, mapTable[0].calibY = -4;
    const QImage shifted = PaintFrame(window);
    int moved = 0;
    for (int32_t y = 0; y < 238; ++y)
        for (int32_t x = 0; x < kW; ++x) moved += (Rgb(withMap, x, y) == kBlue) != (Rgb(shifted, x, y) == kBlue);
    EXPECT_EQ(moved, 0);
    EXPECT_GT(Count(withMap, line, kBlue), 40);
    EXPECT_EQ(MapMismatches(withMap, {{70, 85}}, line), 0);
    EXPECT_EQ(MapMismatches(shifted, {{63, 89}}, line), 0);
    mapTable[0].calibX = mapTable[0].calibY = 0;
    EXPECT_EQ(MapMismatches(PaintFrame(window, 0), {{70, 85}, {63, 89}}, line), 0);
}
TEST_F(PaintTest, ProximityIndicatorAndSound)
{
    settings.proximity = settings.audioMessages = 1;
    const std::string two = Le(std::vector<int64_t>(300, 2222), 2);
    WriteFile(root + "/Scheda di memoria/Velkar/due.wav", WaveBytes(1, 1, 8000, 16, two));
    WriteFile(root + "/Scheda di memoria/Velkar/tre.wav", WaveBytes(1, 1, 8000, 16, Le(std::vector<int64_t>(200, -3333), 2)));
    const double e = kLeftX, n = kTopY;  // the map's corner at the centre: the band is on white
    SetState(1, e, n);
    lastPrefIndex = 3;
    prefTable[0] = PrefPoint{e + 500.0, n, 1, u"\\uno.wav", u""}, prefTable[1] = PrefPoint{e, n, 0, u"\\uno.wav", u""};
    prefTable[2] = PrefPoint{e + 20.0, n - 20.0, 1, u"\\due.wav", u""}, prefTable[3] = PrefPoint{e + 1.0, n, 1, u"\\tre.wav", u""};
    // Index 2 is the first marked point in range: "!2" (as the platform draws it in the view's font) and its
    // sound only, again at every paint; with audio anything but exactly 1, shown and not heard. ("?" and
    // "!0" at the handheld's defaults: the reference pictures.)
    SetReferenceText(u"!2", 1, 10);
    const QImage bang2 = PaintFrame(window).copy(0, 10, 110, 24);
    SetReferenceText(nullptr, 0, 0);
    EXPECT_GT(Count(bang2, kAll, kBlue), 10);
    for (int32_t audio : {1, 1, 0, 2}) {
        settings.audioMessages = audio, std::filesystem::remove(SinkPath());
        EXPECT_TRUE(PaintFrame(window).copy(0, 10, 110, 24) == bang2) << "audio " << audio;
        EXPECT_EQ(Slurp(SinkPath()), audio == 1 ? two : "") << "audio " << audio;
    }
    settings.audioMessages = 1, std::filesystem::remove(SinkPath());  // nothing in range: no sound
    SetState(1, e - 1000.0, n);
    PaintFrame(window);
    EXPECT_FALSE(std::filesystem::exists(SinkPath()));
    settings.proximity = 0;  // proximity off, in range: no text, no sound
    SetState(1, e, n);
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
// A map without scale (equal eastings) is loaded and left out, a missing bitmap leaves the switch empty:
// either way the overlays are drawn on white (decoding and refusing bitmaps: tests/platform). Absurd speeds
// are shown too, 1e300 km/h (301 digits) cut at the 128-unit buffer (one rounded decimal: the reference
// pictures' 0.0 and pty_receiver_test's 9.3). Then three adjacent 100 x 100 maps at 1 m a pixel, west to
// east, and a coarse 4 m map over the eastern two, listed first: on each map's ground the finest is chosen
// when the current one is left; past the last, "Off the map" (blue in the top band) and no switch.
TEST_F(PaintTest, MapsWithoutScaleOrBitmapLeftOutOverlaysDrawnWhateverTheSpeedFinestMapFollowed)
{
    for (auto [file, scaled] : {std::pair{"test.bmp", false}, {"nessuna.bmp", true}}) {
        SCOPED_TRACE(file);
        PlaceMap(0, file, kLeftX, kMapW, kMapH, 1.0);
        if (!scaled) mapTable[0].bottomRightX = kLeftX;
        SwitchMapBitmap();
        EXPECT_EQ(mapBitmap != nullptr, !scaled);
        const QImage frame = PaintFrame(window);
        // A map without scale covers no position: "Off the map" in the top band.
        EXPECT_EQ(MapMismatches(frame, {}, Box{0, 0, kW, 16}), 0);
        EXPECT_EQ(Rgb(frame, 196, 246), kArrowColours[2]);
        EXPECT_GT(Count(frame, kCircle, kBlue), 8);
    }
    for (double speed : {1e300, -HUGE_VAL, std::nan("")}) {
        SetState(1, kE, kN, speed);
        EXPECT_GT(Count(PaintFrame(window), Box{0, 240, 120, kH}, kBlue), 20) << speed;
    }
    WriteFile(root + "/My Documents/Velkar/square.bmp", BmpBytes(100, 100, 24, false, BlockColour));
    PlaceMap(0, "square.bmp", kLeftX + 100, 50, 25, 4.0);  // coarse: 700100 .. 700300
    for (int32_t i = 1; i <= 3; ++i) PlaceMap(i, "square.bmp", kLeftX + 100 * (i - 1), 100, 100, 1.0);  // west to east
    lastMapIndex = 3, currentMap = 1;
    SwitchMapBitmap();
    const struct { const char* name; double east; int32_t map; bool off; } rows[] = {
        {"on the west map", 50, 1, false}, {"over its edge: the middle one, not the coarse", 150, 2, false},
        {"the east map", 250, 3, false}, {"back to the middle", 199, 2, false}, {"east again", 299, 3, false},
        {"past the last: nothing covers it", 320, 3, true}};
    for (const auto& r : rows) {
        SetState(1, kLeftX + r.east, kTopY - 50.5);
        const QImage frame = PaintFrame(window);
        EXPECT_EQ(currentMap, r.map) << r.name;
        EXPECT_EQ(Count(frame, Box{60, 0, 180, 16}, kBlue) > 0, r.off) << r.name;
    }
}
// Two map pixels a row around the position (50, 49), outside the circle at that zoom: where GridToScreen
// puts them, the frame shows their 8 x 8 block's colour.
TEST_F(ExtendTest, ZoomedMapPixelLandsWhereTheTransformPutsIt)
{
    const struct { const char* name; int32_t step; std::pair<int32_t, int32_t> pixels[2]; } rows[] = {
        {"4:1", 7, {{60, 52}, {44, 44}}}, {"1:8", 0, {{150, 140}, {180, 12}}}};
    for (const auto& r : rows) {
        SetMapZoomStep(mapTable[0], r.step);
        const QImage frame = PaintFrame(window);
        for (auto [column, row] : r.pixels) {
            int32_t x = 0, y = 0;
            GridToScreen(kE, kN, kLeftX + column + 0.5, kTopY - row - 0.5, kW, kH, &x, &y, kZoomScales[r.step]);
            EXPECT_EQ(Rgb(frame, x, y), BlockColour(column, row)) << r.name << ": " << column << ", " << row;
        }
    }
}
// Each element at its layout place (ViewRules in core_test has the numbers): the arrow's icon colour
// inside its box, the speed text's blue in its band, the circle at the centre.
TEST_F(ExtendTest, OverlayIsLaidOutInsideWindowsOfAnySize)
{
    for (auto [name, w, h] : {std::tuple{"1280x800", 1280, 800}, {"480x800", 480, 800}, {"240x200", 240, 200}}) {
        SCOPED_TRACE(name);
        WindowHandle sized = CreateViewWindow(w, h);
        const ViewLayout l = LayoutView(w, h, 1.0);
        const int32_t a = l.arrowSize, m = l.markerRadius;
        for (int fix : {1, 0}) {
            SetState(fix, kE, kN);
            const QImage frame = PaintFrame(sized);
            ASSERT_EQ(frame.size(), QSize(w, h));
            EXPECT_EQ(Rgb(frame, l.arrowLeft + 1, l.arrowTop + 1), kArrowColours[2]);
            EXPECT_EQ(Rgb(frame, l.arrowLeft + a - 2, l.arrowTop + a - 2), kArrowColours[2]);
            const int32_t textTop = fix ? l.speedTop : l.notFixedTop;
            EXPECT_GT(Count(frame, Box{0, textTop, l.arrowLeft, textTop + l.fontHeight}, kBlue), 20);
            EXPECT_EQ(Count(frame, Box{0, h / 2 + m + 2, l.arrowLeft, textTop}, kBlue), 0) << "none above it";
            EXPECT_GT(Count(frame, Box{w / 2 - m - 1, h / 2 - m - 1, w / 2 + m + 2, h / 2 + m + 2}, kBlue), 8);
        }
        DestroyMainWindow(sized);
    }
}
// Each view option shows only when asked. Without a fix the map stays, dimmed: (c + luma) * 45 >> 7 per
// channel, luma = (77 r + 150 g + 29 b) >> 8. Night: luma * 160 >> 8, luma * 24 >> 8, luma * 16 >> 8 over
// the whole view; white becomes 9F170F. A walk from 40 m west to the position: the trail's purple runs left
// of the centre, kept when the map changes (plane metres, not pixels). Then the target line.
TEST_F(ExtendTest, MapKeptDimmedNightTrailAndTargetLineOnlyWhenAsked)
{
    const uint32_t c = BlockColour(60, 52);
    const uint32_t r = c >> 16, g = (c >> 8) & 0xFF, b = c & 0xFF, luma = (77 * r + 150 * g + 29 * b) >> 8;
    const uint32_t dim = ((r + luma) * 45 >> 7) << 16 | ((g + luma) * 45 >> 7) << 8 | ((b + luma) * 45 >> 7);
    PaintFrame(window);
    SetState(0, kE, kN);  // the receiver lost the fix
    EXPECT_EQ(Rgb(PaintFrame(window), 130, 137), kWhite) << "off: the handheld's white";
    viewOptions.keepMapWithoutFix = 1;
    EXPECT_EQ(Rgb(PaintFrame(window), 130, 137), dim);
    viewOptions = ViewOptions{}, viewOptions.night = 1;
    SetState(1, kE, kN);
    const QImage frame = PaintFrame(window);
    EXPECT_EQ(Rgb(frame, 120, 134), 0x9F170Fu) << "inside the circle";
    EXPECT_EQ(Count(frame, kAll, kBlue), 0);
    viewOptions = ViewOptions{};
    for (int i = 40; i >= 0; i -= 4) AddTrailPoint(kE - i, kN);
    EXPECT_EQ(Count(PaintFrame(window), kAll, kPurple), 0);
    viewOptions.trail = 1;
    const QImage walked = PaintFrame(window);
    EXPECT_GT(Count(walked, Box{80, 130, 112, 138}, kPurple), 25);
    EXPECT_EQ(Count(walked, Box{128, 0, kW, kH}, kPurple), 0) << "nothing east of the position";
    PlaceMap(0, "blocks.bmp", kLeftX - 100, kMapW, kMapH, 2.0);  // another map: 2 m a pixel
    SwitchMapBitmap();
    EXPECT_GT(Count(PaintFrame(window), Box{98, 130, 116, 138}, kPurple), 12);
    // Track line on, target 100 m grid east: with no point loaded no line to plane (0, 0); the text under
    // the indicator with the trail on, off the handheld's defaults (at them: the reference pictures).
    viewOptions.trail = 0;
    settings.trackToTarget = 1;
    EXPECT_EQ(Count(PaintFrame(window), Box{0, 0, kW, 120}, kBlue), 0) << "no point: no line";
    lastPrefIndex = selectedPref = 0;
    prefTable[0] = PrefPoint{kLeftX + 150.5, kN, 0, u"", u"Rocca"};
    const int32_t band = LayoutView(kW, kH, 1.0).targetTextTop;
    viewOptions.trail = 1;
    EXPECT_GT(Count(PaintFrame(window), Box{0, band, 100, band + 14}, kBlue), 20);
}
const std::u16string kCard = u"\\Scheda di memoria\\Velkar\\";
struct SoundTest : PaintTest {  // the paint set-up removed the sink
    const std::string dir = root + "/Scheda di memoria/Velkar/";
    static int Play(const std::u16string& name) { return PlaySoundFile((kCard + name).c_str(), kSoundFilename); }
};
// Files reach the sink sample for sample (8 bits made 16, floats bit for bit; 16-bit mono at 8000: the
// proximity sound's); what cannot be played gives the default tone: 880 Hz for 150 ms, 16-bit mono at 22050,
// 3307 frames, 2 x 880 x 0.15 = 264 zero crossings, audible but not clipped, faded at both ends (no click).
TEST_F(SoundTest, FilesReachTheDeviceAsTheyAreOrGiveTheDefaultTone)
{
    std::vector<int64_t> ramp, bytes8, shifted8, floats;
    for (int i = 0; i < 10000; ++i) ramp.push_back(int16_t(i * 37 - 20000));
    ramp[0] = INT16_MIN, ramp[1] = INT16_MAX;
    for (int i = 0; i < 256; ++i) bytes8.push_back(i), shifted8.push_back((i - 128) * 256);  // 128 is silence
    for (int i = 0; i < 400; ++i) floats.push_back(std::bit_cast<int32_t>(float(std::sin(i * 0.1) * 0.5)));
    const std::string stereo = Le(ramp, 2);
    const std::u16string a = kCard + u"a.wav";
    const struct { const char* name; const char16_t* path; std::string content, sink; } rows[] = {  // sink "": tone
        {"16-bit stereo 44100", a.c_str(), WaveBytes(1, 2, 44100, 16, stereo), stereo},
        {"8-bit unsigned", a.c_str(), WaveBytes(1, 1, 11025, 8, Le(bytes8, 1)), Le(shifted8, 2)},
        {"float, bit for bit", a.c_str(), WaveBytes(3, 1, 16000, 32, Le(floats, 4)), Le(floats, 4)},
        {"missing file", u"\\Scheda di memoria\\Velkar\\nessuno.wav", "", ""}, {"no name", u"", "", ""},
        {"no name at all", nullptr, "", ""}, {"text, not a sound", a.c_str(), "not a wave file\n", ""},
        {"header lies: no channels", a.c_str(), WaveBytes(1, 0, 8000, 16, "abcd"), ""},
        {"no samples", a.c_str(), WaveBytes(1, 1, 8000, 16, ""), ""}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        std::filesystem::remove(SinkPath());
        if (!r.content.empty()) WriteFile(dir + "a.wav", r.content);
        EXPECT_EQ(PlaySoundFile(r.path, kSoundFilename), 1);
        const std::string raw = Slurp(SinkPath());
        if (!r.sink.empty()) { EXPECT_TRUE(raw == r.sink); continue; }
        std::vector<int16_t> v(raw.size() / 2);
        std::memcpy(v.data(), raw.data(), v.size() * 2);
        ASSERT_EQ(v.size(), 3307u);
        int crossings = 0, peak = 0;
        for (size_t i = 1; i < v.size(); ++i)
            crossings += (v[i - 1] < 0) != (v[i] < 0), peak = std::max(peak, std::abs(int(v[i])));
        EXPECT_NEAR(crossings, 264, 4);
        EXPECT_TRUE(peak > 5000 && peak < 32000) << peak;
        int ends = 0;  // the loudest of the first and the last 20 frames: under a tenth of the peak
        for (size_t i = 0; i < 20; ++i) ends = std::max({ends, std::abs(int(v[i])), std::abs(int(v[v.size() - 1 - i]))});
        EXPECT_LT(ends * 10, peak) << ends;
    }
}
// 25 s of 16-bit mono at 8000 frames per second against a sink taking 16000 bytes a second (the sink
// made a FIFO drained at the sound's own byte rate, as a real device takes samples, so the player waits
// on it as on a sound card): only the first 10 s reach it, and the player returns after them.
TEST_F(SoundTest, ALongSoundIsCutAndSaidUnderVerbose)
{
    std::vector<int64_t> samples(25 * 8000);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = int16_t(i * 7);
    const std::string data = Le(samples, 2), path = SinkPath();
    WriteFile(dir + "long.wav", WaveBytes(1, 1, 8000, 16, data));
    mkfifo(path.c_str(), 0600);
    std::string taken;
    std::thread reader([&] {
        const int fd = open(path.c_str(), O_RDONLY);
        fcntl(fd, F_SETPIPE_SZ, 4096);  // little slack: the writer is held almost at once
        char chunk[1024];
        const auto start = std::chrono::steady_clock::now();
        for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) > 0;) {
            taken.append(chunk, size_t(n));
            std::this_thread::sleep_until(start + std::chrono::microseconds(taken.size() * 1000000 / (8000 * 2)));
        }
        close(fd);
    });
    testing::internal::CaptureStderr();
    SetVerbose(1);
    EXPECT_EQ(Play(u"long.wav"), 1);
    SetVerbose(0);
    const std::string said = testing::internal::GetCapturedStderr();
    reader.join();
    EXPECT_TRUE(taken == data.substr(0, size_t(kMaxSoundSeconds) * 8000 * 2));
    EXPECT_NE(said.find("sound cut after 10 s"), std::string::npos) << said;
}
TEST_F(SoundTest, WithoutADeviceNothingIsHeardAndOnlyVerboseSaysSoOnce)
{
    // A child process (ALSA reads its configuration once per process) with no "default" PCM.
    WriteFile(dir + "empty-asoundrc", "# no devices\n");
    WriteFile(dir + "bip.wav", WaveBytes(1, 1, 8000, 16, Le({1, 2, 3, 4}, 2)));
    StderrCapture capture;  // the child's standard error too
    const pid_t child = fork();
    if (child == 0) {
        setenv("ALSA_CONFIG_PATH", (dir + "empty-asoundrc").c_str(), 1);
        int played = Play(u"bip.wav") * 10 + Play(u"nessuno.wav");
        SetVerbose(1);
        for (int i = 0; i < 2; ++i) played += Play(u"bip.wav");
        _exit(played);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    const std::string printed = capture.Text();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "every play reports 0: " << status;
    EXPECT_EQ(printed.rfind("velkar: no sound device: ", 0), 0u) << printed;
    EXPECT_EQ(std::count(printed.begin(), printed.end(), '\n'), 1) << "said once, under verbose only: " << printed;
    EXPECT_FALSE(std::filesystem::exists(SinkPath()));
}
}  // namespace
