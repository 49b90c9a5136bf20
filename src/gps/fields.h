// What the sentence parsers share: walking a sentence's fields in place, the
// degree value of a position field, the steps around every position fix (current
// into previous, then conversions, distance, time, silence rule and fix history),
// and the flags that decide when an RMC or GNS stands in. All under gpsMutex.
#pragma once

#include <cstdint>

#include "gps/gps_state.h"

// Since the previous RMC / GNS of one talker (or the start): what was handed over.
// Counted by talker, since a receiver of several systems sends an RMC per system
// ($GPRMC, $GARMC) after one GGA: the second is no sign of a missing GGA. Slot 0
// counts from the start, for a talker not seen before. Set by the parsers,
// cleared by ResetGpsState. Guarded by gpsMutex.
constexpr int kTalkerSlots = 8;
struct StandInFlags {
    char16_t talker[2];      // the two letters after the '$'; 0, 0 in slot 0 and free slots
    int32_t vtgSinceRmc;     // a VTG: the RMC's motion is not used
    int32_t fixSinceRmc;     // a GGA or a GNS: the RMC does not stand in
    int32_t ggaSinceGns;     // a GGA: the GNS does not stand in
};
extern StandInFlags standInFlags[kTalkerSlots + 1];

// Sets one flag in every slot: a sentence of that kind was handed over.
void MarkHandedOver(int32_t StandInFlags::*flag);
// The slot of the sentence's talker (from "$GPRMC": "GP"), taken up when new.
StandInFlags& TalkerFlags(const char16_t* text);

inline bool IsFieldSeparator(char16_t c) { return c == u',' || c == u':'; }

// Walks the fields of text, numbered from 0 at the address, ending each in place,
// and calls action(number, field) for every field that is not empty. Returns the
// number of non-empty fields. The position lives in this call only, so parses on
// two threads cannot disturb each other.
//   "$GPVTG,054.7,T,,M,005.5,N,010.2,K" -> 0 "$GPVTG", 1 "054.7", 2 "T", (3 empty),
//   4 "M", 5 "005.5", 6 "N", 7 "010.2", 8 "K": 8 fields present.
template <typename Action>
int32_t ForEachField(char16_t* text, Action action)
{
    int32_t present = 0;
    int32_t number = 0;
    char16_t* p = text;
    for (;;) {
        char16_t* field = p;
        while (*p != 0 && !IsFieldSeparator(*p)) ++p;
        const bool last = *p == 0;
        *p = 0;
        if (*field != 0) {
            action(number, field);
            ++present;
        }
        if (last) break;
        ++p;
        ++number;
    }
    return present;
}

// Degree value of "ddmm.mmmm" (digits 2) or "dddmm.mmmm" (digits 3); 0.0 for a
// field whose whole value is 0.0. The degree digits become '0' in place.
double FieldDegrees(char16_t* token, int digits);

// Step 1 of every fix: the current position and time become the previous ones.
void BeginFix(GpsState& g);
// Steps 3 to 6: UTM and plane grid of the position now held, distance moved, time
// delta; then the silence rule is armed and the fix goes into the fix history.
void FinishFix(GpsState& g);
