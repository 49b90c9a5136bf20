// vlview.cfg: the view's switches and each map's zoom read from bracket-token records, written back
// atomically and read again unchanged; the map left with Exit kept for the next start.
#include "store/view_options.h"
#include "store_fixture.h"

namespace {
const std::string kView = kDir + "vlview.cfg";

MapEntry MapAt(const char16_t* path)
{
    MapEntry m = {};
    return CopyText(m.bitmapPath, kBitmapPathSize, path), m;
}
using ViewFile = Store;
// Files as a person or an older run may leave them; expected values worked out by hand.
TEST_F(ViewFile, ReadsSwitchesAndZoomsOrKeepsDefaults)
{
    const struct { const char* name; const char* file; int read, trail, record, keep, night, full, zoomA; } rows[] = {
        {"no file", nullptr, 0, 0, 0, 0, 0, 0, kZoomOneToOne},
        {"all on, a.bmp at 2:1", "[VIEW][1][1][1][1][1][][][][][][][END]\n[ZOOM][6][a.bmp][][][][][][][][][][END]\n",
         1, 1, 1, 1, 1, 1, 6},
        {"any non-zero is on", "[VIEW][7][0][-1][0][2.5][][][][][][][END]", 1, 1, 0, 1, 0, 1, kZoomOneToOne},
        {"a record cut short is not used", "[VIEW][1][1][1][1][1][][][]", 1, 0, 0, 0, 0, 0, kZoomOneToOne},
        {"zoom beyond the steps is clamped", "[ZOOM][99][a.bmp][][][][][][][][][][END]", 1, 0, 0, 0, 0, 0, 7},
        {"negative zoom is the smallest step", "[ZOOM][-3][a.bmp][][][][][][][][][][END]", 1, 0, 0, 0, 0, 0, 0},
        {"unknown kinds and text are skipped", "junk[SIZE][9][][][][][][][][][][][END][VIEW][0][0][0][1][0][][][][][][][END]",
         1, 0, 0, 0, 1, 0, kZoomOneToOne}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.name);
        fs::remove(Host(kView));
        if (r.file != nullptr) Write(kView, r.file);
        viewOptions = ViewOptions{1, 1, 1, 1, 1};  // whatever the last run left
        EXPECT_EQ(LoadViewOptions(), r.read);
        const ViewOptions& v = viewOptions;
        EXPECT_EQ(std::tie(v.trail, v.recordTrack, v.keepMapWithoutFix, v.night, v.fullScreen),
                  std::tie(r.trail, r.record, r.keep, r.night, r.full));
        EXPECT_EQ(MapZoomStep(MapAt(u"a.bmp")), r.zoomA);
    }
}
// The switches, the zooms and the map left with Exit are saved and read back; that map comes back at the next
// start while the catalogue still lists it.
TEST_F(ViewFile, SavesWhatItReadsBackAndTheChosenMapWhileListed)
{
    LoadViewOptions();  // no file yet: the defaults, no zoom kept
    const char16_t* lago = u"\\My Documents\\Velkar\\lago.bmp";
    viewOptions = ViewOptions{1, 0, 1, 0, 1};
    SetMapZoomStep(MapAt(lago), 2);
    SetMapZoomStep(MapAt(u"odd[1].bmp"), 7);  // a bracket cannot be a token: not written
    lastMapIndex = 1;
    CopyText(mapTable[0].bitmapPath, kBitmapPathSize, u"a.bmp");
    CopyText(mapTable[1].bitmapPath, kBitmapPathSize, u"b.bmp");
    EXPECT_EQ(ChosenMapIndex(), -1) << "nothing kept yet";
    KeepChosenMap(mapTable[1]);
    ASSERT_EQ(SaveViewOptions(), 1);
    EXPECT_EQ(Read(kView), "[VIEW][1][0][1][0][1][][][][][][][END]\n[MAP][b.bmp][][][][][][][][][][][END]\n"
                           "[ZOOM][2][\\My Documents\\Velkar\\lago.bmp][][][][][][][][][][END]\n");
    viewOptions = ViewOptions{};
    ASSERT_EQ(LoadViewOptions(), 1);
    EXPECT_TRUE(viewOptions.trail == 1 && viewOptions.keepMapWithoutFix == 1 && viewOptions.fullScreen == 1);
    EXPECT_EQ(MapZoomStep(MapAt(lago)), 2);
    EXPECT_EQ(MapZoomStep(MapAt(u"odd[1].bmp")), kZoomOneToOne);
    EXPECT_EQ(ChosenMapIndex(), 1);
    lastMapIndex = 0;  // the catalogue lost it since
    EXPECT_EQ(ChosenMapIndex(), -1);
}
}  // namespace
