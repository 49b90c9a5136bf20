// The view's choices and the zoom of each map, read from and written to
// vlview.cfg as bracket-token records of 13 tokens: [VIEW][trail][record][keep]
// [night][full screen]...[END] once, [ZOOM][step][bitmap path]...[END] per map and
// [MAP][bitmap path]...[END] for the map chosen at the last Exit.
#include "store/view_options.h"

#include <string>
#include <string_view>

#include "base/numbers.h"
#include "base/text.h"
#include "platform/files.h"
#include "store/bracket_tokens.h"

const double kZoomScales[kZoomStepCount] = {1.0 / 8, 1.0 / 6, 1.0 / 4, 1.0 / 3, 1.0 / 2, 1.0, 2.0, 4.0};
ViewOptions viewOptions = {};
const char16_t kViewOptionsPath[] = u"\\My Documents\\Velkar\\vlview.cfg";

namespace {

struct MapZoom {
    char16_t bitmapPath[kBitmapPathSize];
    int32_t step;
};
constexpr int kKeptZooms = 16;
MapZoom keptZooms[kKeptZooms];
int keptCount = 0;
char16_t chosenMapPath[kBitmapPathSize];

int FindKept(const MapEntry& map)
{
    for (int i = 0; i < keptCount; ++i)
        if (std::u16string_view(keptZooms[i].bitmapPath) == std::u16string_view(map.bitmapPath)) return i;
    return -1;
}

}  // namespace

int32_t MapZoomStep(const MapEntry& map)
{
    const int i = FindKept(map);
    return i < 0 ? kZoomOneToOne : keptZooms[i].step;
}

void SetMapZoomStep(const MapEntry& map, int32_t step)
{
    if (step < 0) step = 0;
    if (step > kZoomStepCount - 1) step = kZoomStepCount - 1;
    int i = FindKept(map);
    if (i < 0) {
        i = keptCount < kKeptZooms ? keptCount++ : kKeptZooms - 1;  // the newest replaces the last
        CopyText(keptZooms[i].bitmapPath, kBitmapPathSize, map.bitmapPath);
    }
    keptZooms[i].step = step;
}

namespace {

// One record as it is read: its kind (token 0) and the texts of tokens 1 to 5.
struct ViewRecord {
    char16_t kind[8];
    char16_t values[5][kTokenBufferSize];
};

int32_t Switch(const char16_t* text) { return TruncToInt32(TextToDouble(text)) != 0 ? 1 : 0; }

// A record is used once its last token has come: a file cut short changes nothing
// it did not hold whole. Unknown kinds are skipped.
void UseRecord(const ViewRecord& r)
{
    const std::u16string_view kind(r.kind);
    if (kind == u"VIEW") {
        ViewOptions& v = viewOptions;
        v.trail = Switch(r.values[0]);
        v.recordTrack = Switch(r.values[1]);
        v.keepMapWithoutFix = Switch(r.values[2]);
        v.night = Switch(r.values[3]);
        v.fullScreen = Switch(r.values[4]);
    } else if (kind == u"MAP") {
        CopyText(chosenMapPath, kBitmapPathSize, r.values[0]);
    } else if (kind == u"ZOOM" && r.values[1][0] != 0) {
        MapEntry map = {};
        CopyText(map.bitmapPath, kBitmapPathSize, r.values[1]);
        SetMapZoomStep(map, TruncToInt32(TextToDouble(r.values[0])));
    }
}

int ViewToken(int32_t number, char16_t* token, void* context)
{
    ViewRecord& r = *static_cast<ViewRecord*>(context);
    if (number == 0) {
        r = ViewRecord{};
        CopyText(r.kind, sizeof r.kind / sizeof r.kind[0], token);
    } else if (number <= 5) {
        CopyText(r.values[number - 1], kTokenBufferSize, token);
    } else if (number == kLastTokenOfRecord) {
        UseRecord(r);
    }
    return 1;
}

// One record of the file: kind, then the given values as tokens 1 onwards; the
// unused tokens up to 11 stay empty so that every record has its 13 tokens.
void AppendRecord(std::u16string& out, const char16_t* kind, const std::u16string* values, int count)
{
    out += u"[";
    out += kind;
    out += u"]";
    for (int i = 1; i < kLastTokenOfRecord; ++i) out += u"[" + (i <= count ? values[i - 1] : std::u16string()) + u"]";
    out += u"[END]\n";
}

std::u16string Number(int32_t value)
{
    char16_t text[16];
    FormatText(text, 16, "%d", value);
    return text;
}

}  // namespace

int LoadViewOptions()
{
    viewOptions = ViewOptions{};
    keptCount = 0;
    chosenMapPath[0] = 0;
    ViewRecord record = {};
    return ReadBracketTokens(kViewOptionsPath, ViewToken, &record);
}

int SaveViewOptions()
{
    const ViewOptions& v = viewOptions;
    const std::u16string view[5] = {Number(v.trail), Number(v.recordTrack), Number(v.keepMapWithoutFix),
                                    Number(v.night), Number(v.fullScreen)};
    std::u16string out;
    AppendRecord(out, u"VIEW", view, 5);
    const std::u16string chosen(chosenMapPath);
    if (!chosen.empty() && chosen.find_first_of(u"[]") == std::u16string::npos) AppendRecord(out, u"MAP", &chosen, 1);
    for (int i = 0; i < keptCount; ++i) {
        const std::u16string path(keptZooms[i].bitmapPath);
        // A path with a bracket cannot be written as a token: that map's zoom is not kept.
        if (path.empty() || path.find_first_of(u"[]") != std::u16string::npos) continue;
        const std::u16string zoom[2] = {Number(keptZooms[i].step), path};
        AppendRecord(out, u"ZOOM", zoom, 2);
    }
    return ReplaceTextFile(kViewOptionsPath, out.c_str());
}

void KeepChosenMap(const MapEntry& map)
{
    CopyText(chosenMapPath, kBitmapPathSize, map.bitmapPath);
}

int32_t ChosenMapIndex()
{
    if (chosenMapPath[0] == 0) return -1;
    for (int32_t i = 0; i <= lastMapIndex && i < kMapCount; ++i)
        if (std::u16string_view(mapTable[i].bitmapPath) == std::u16string_view(chosenMapPath)) return i;
    return -1;
}
