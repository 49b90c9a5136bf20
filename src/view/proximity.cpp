// The proximity check as the main view runs it: the decision over the loaded
// preference points and, with audio messages on, the synchronous playing of the
// sound of the point found. Runs on the user-interface thread inside painting.
#include "view/proximity.h"

#include "app/globals.h"
#include "base/text.h"
#include "gps/gps_state.h"
#include "platform/sound.h"
#include "store/settings.h"

int32_t CheckProximityAt(double easting, double northing)
{
    const int32_t found = FindPointInRange(easting, northing, prefTable, lastPrefIndex);
    if (found != kNoPointInRange && settings.audioMessages == 1) PlayPointSound(found);
    return found;
}

int32_t CheckProximity()
{
    const GpsState g = SnapshotGpsState();
    return CheckProximityAt(g.gridEasting, g.gridNorthing);
}

void BuildPointSoundPath(int32_t index, char16_t* out)
{
    out[0] = 0;
    if (!(index >= 0 && index < kPrefCount)) return;
    // No separator: a soundFile names a file inside the directory by starting with '\'.
    FormatText(out, kSoundPathSize, "%s%s", soundDirectory, prefTable[index].soundFile);
}

void PlayPointSound(int32_t index)
{
    if (!(index >= 0 && index < kPrefCount)) return;
    char16_t path[kSoundPathSize];
    BuildPointSoundPath(index, path);
    // Synchronous: the paint, and with it the user interface, waits for the sound.
    // A missing file plays the default tone; the result is not examined.
    PlaySoundFile(path, kSoundFilename);
}
