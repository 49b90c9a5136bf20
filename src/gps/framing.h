// Sentence framing: assembles NMEA sentences byte by byte from a receiver's
// stream and hands GGA and VTG sentences of any talker to the parsers.
// A sentence runs from its '$' to the character before its '*'; at most 252
// characters are kept. Checksums and line ends are dropped unseen.
#pragma once

#include <cstdint>

constexpr int kSentenceBufferSize = 256;
constexpr int32_t kMaxSentenceLength = 252;

struct FramingState {
    int32_t inSentence;      // 1 after a '$', while characters are being stored
    int32_t sentenceLength;  // characters stored, 0 to 252
};

// What FrameByte did with the byte.
enum FrameResult : int32_t {
    kFrameNone = 0,    // stored, dropped, or a '*' that handed nothing over
    kFrameGga = 1,     // a '*' handed the buffer to ParseGga
    kFrameVtg = 2,     // a '*' handed the buffer to ParseVtg
    kFrameIgnored = 3, // a '*' ended a sentence that no parser takes or the switches held back
};

// Frames one received byte into buffer (kSentenceBufferSize units, terminated).
// At a '*' the buffer's positions 3 to 5 decide: "GGA" goes to ParseGga, "VTG"
// to ParseVtg, each after a copy into displayLine, both under gpsMutex, and only
// while the settings' gpsEmulation and gotoActive are both 0.
FrameResult FrameByte(char16_t* buffer, FramingState* state, unsigned char byte);

// The reader thread's own buffer, empty at start and never emptied afterwards.
extern char16_t sentenceBuffer[kSentenceBufferSize];
