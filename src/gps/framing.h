// Sentence framing: assembles NMEA sentences from a receiver's byte stream and
// hands GGA, VTG, RMC and GNS sentences of any talker to their parsers. A
// sentence runs from its '$' to the character before its '*'; at most 252
// characters are kept. Checksums are dropped unseen; a line end drops a sentence.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int kSentenceBufferSize = 256;
constexpr int32_t kMaxSentenceLength = 252;

struct FramingState {
    int32_t inSentence;      // 1 after a '$', until its '*', a line end or the next '$'
    int32_t sentenceLength;  // characters stored, 0 to 252
};

// What the framing did with a byte.
enum FrameResult : int32_t {
    kFrameNone = 0,    // stored, dropped, or a '*' that handed nothing over
    kFrameGga = 1,     // a '*' handed the buffer to ParseGga
    kFrameVtg = 2,     // a '*' handed the buffer to ParseVtg
    kFrameIgnored = 3, // a '*' ended a sentence of a parsed type that the switches held back
    kFrameRmc = 4,     // a '*' handed the buffer to ParseRmc
    kFrameGns = 5,     // a '*' handed the buffer to ParseGns
};
constexpr int kFrameResultCount = 6;

// The rules, byte by byte. A '$' always starts a new sentence: whatever was being
// stored is dropped and the '$' is stored as the first character. A '*' ends the
// sentence being stored (elsewhere it does nothing); a sentence of six characters
// or more whose characters 3 to 5 read "GGA", "VTG", "RMC" or "GNS" then goes to
// its parser, after a copy into displayLine, both under gpsMutex, and only while
// the settings' gpsEmulation and gotoActive are both 0. A carriage return or line
// feed drops the sentence being stored. Characters after the 252nd are dropped;
// the '*' then hands over the first 252. A byte b becomes the code unit b.
//
// Frames bytes[0..size) into buffer (kSentenceBufferSize units) and returns how
// many it took: all of them, or fewer when a '*' handed a sentence over or held it
// back, which stops the run just after that '*' with *result saying what happened
// (kFrameNone when the run took every byte without such an end).
size_t FrameBytes(char16_t* buffer, FramingState* state, const unsigned char* bytes, size_t size,
                  FrameResult* result);

// The same for one byte.
FrameResult FrameByte(char16_t* buffer, FramingState* state, unsigned char byte);

// The reader thread's own buffer.
extern char16_t sentenceBuffer[kSentenceBufferSize];
