// GPS emulation: five canned GGA sentences, one per tick, for running without a
// receiver. The fixes keep their latitude and step west inside the default map.
#pragma once

#include <cstdint>

constexpr int kCannedSentenceCount = 5;

// Canned sentences in feeding order, each "...*65\n" (the checksum text does not
// match; checksums are never verified).
extern const char16_t* const kCannedSentences[kCannedSentenceCount];

// Number of canned sentences fed in the current cycle: the 0-based index of the
// next one. Switching emulation off and on does not reset it.
extern int32_t emulationStep;

// With enabled not 0: feeds the next canned sentence through displayLine into
// ParseGga (under gpsMutex) and returns its token count (14). With 0: returns 0
// and changes nothing.
int32_t FeedEmulatedSentence(int32_t enabled);
