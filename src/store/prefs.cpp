#include "store/prefs.h"

#include "base/numbers.h"
#include "base/text.h"
#include "geo/geo.h"
#include "store/bracket_tokens.h"
#include "store/settings.h"

PrefPoint prefTable[kPrefCount];
int32_t lastPrefIndex = 0;
int32_t selectedPref = 0;

const char16_t kPrefPointsPath[] = u"\\My Documents\\Velkar\\vlpref.cfg";

PrefPoint& SelectedPrefPoint()
{
    return (selectedPref >= 0 && selectedPref < kPrefCount) ? prefTable[selectedPref] : prefTable[0];
}

namespace {

struct PrefReading {
    int32_t records = 0;
    double position[2] = {0, 0};  // tokens 3 and 4, held until the record closes
};

int PrefToken(int32_t number, char16_t* token, void* context)
{
    auto& r = *static_cast<PrefReading*>(context);
    PrefPoint& p = prefTable[r.records];
    switch (number) {
    case 1: CopyText(p.name, kPrefNameSize, token); break;
    case 3: r.position[0] = TextToDouble(token); break;
    case 4: r.position[1] = TextToDouble(token); break;
    case 7: p.alert = TruncToInt32(TextToDouble(token)); break;
    case 8: CopyText(p.soundFile, kSoundFileSize, token); break;
    case 12:
        p.x = r.position[0];
        p.y = r.position[1];
        if (settings.prefInDegrees == 1) LatLonToGrid(r.position[0], r.position[1], &p.y, &p.x);
        ++r.records;
        if (r.records >= kPrefCount) return 0;  // an eleventh record is not read
        break;
    default: break;
    }
    return 1;
}

}  // namespace

int LoadPrefPoints()
{
    PrefReading reading;
    if (ReadBracketTokens(kPrefPointsPath, PrefToken, &reading) == 0) return 0;
    lastPrefIndex = reading.records - 1;
    return 1;
}
