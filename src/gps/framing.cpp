// Sentence framing over a run of received bytes: the state lives in locals for
// the whole run, a '$' is found with memchr, and a sentence's characters are
// stored in one tight loop up to its end mark.
#include "gps/framing.h"

#include <bit>
#include <cstring>
#include <mutex>

#include "base/text.h"
#include "gps/gps_state.h"
#include "store/settings.h"

char16_t sentenceBuffer[kSentenceBufferSize];

namespace {

// The parser a sentence of length characters goes to, by its characters 3 to 5.
FrameResult KindOf(const char16_t* s, int32_t length)
{
    if (length < 6) return kFrameNone;
    const char16_t a = s[3], b = s[4], c = s[5];
    if (a == u'G' && b == u'G' && c == u'A') return kFrameGga;
    if (a == u'V' && b == u'T' && c == u'G') return kFrameVtg;
    if (a == u'R' && b == u'M' && c == u'C') return kFrameRmc;
    if (a == u'G' && b == u'N' && c == u'S') return kFrameGns;
    return kFrameNone;
}

// A sentence ended by its '*': handed to its parser, held back, or passed over.
FrameResult HandOver(char16_t* buffer, int32_t length)
{
    const FrameResult kind = KindOf(buffer, length);
    if (kind == kFrameNone) return kFrameNone;
    if (settings.gpsEmulation.load(std::memory_order_relaxed) != 0 ||
        gotoActive.load(std::memory_order_relaxed) != 0) {
        return kFrameIgnored;
    }
    std::lock_guard<std::mutex> lock(gpsMutex);
    std::memcpy(displayLine, buffer, (static_cast<size_t>(length) + 1) * sizeof(char16_t));
    switch (kind) {
    case kFrameGga: ParseGga(buffer); break;
    case kFrameVtg: ParseVtg(buffer); break;
    case kFrameRmc: ParseRmc(buffer); break;
    default: ParseGns(buffer); break;
    }
    return kind;
}

// The bytes that end the storing of a sentence: '$', '*', carriage return, line feed.
constexpr struct EndMarks {
    bool marks[256];
    constexpr EndMarks() : marks()
    {
        marks[static_cast<unsigned char>('$')] = marks[static_cast<unsigned char>('*')] = true;
        marks[static_cast<unsigned char>('\r')] = marks[static_cast<unsigned char>('\n')] = true;
    }
    constexpr bool operator[](unsigned char b) const { return marks[b]; }
} kEndsStoring;

// A byte of x equal to the byte repeated in pattern sets the top bit of its place; a
// false mark can only stand above a true one, so the lowest mark is always right.
inline uint64_t MarksOf(uint64_t x, uint64_t pattern)
{
    const uint64_t v = x ^ pattern;
    return (v - 0x0101010101010101ull) & ~v & 0x8080808080808080ull;
}

// The position of the first end mark in bytes[i..size), or size: eight bytes a step
// on a little-endian machine, then byte by byte.
size_t RunEnd(const unsigned char* bytes, size_t i, size_t size)
{
    if constexpr (std::endian::native == std::endian::little) {
        constexpr uint64_t kOnes = 0x0101010101010101ull;
        for (; i + 8 <= size; i += 8) {
            uint64_t x;
            std::memcpy(&x, bytes + i, 8);
            const uint64_t marks = MarksOf(x, kOnes * '$') | MarksOf(x, kOnes * '*') | MarksOf(x, kOnes * '\r') |
                                   MarksOf(x, kOnes * '\n');
            if (marks != 0) return i + static_cast<size_t>(std::countr_zero(marks) >> 3);
        }
    }
    while (i < size && !kEndsStoring[bytes[i]]) ++i;
    return i;
}

// Stores n bytes as code units; the two never overlap, so the copy is vectorised.
void WidenRun(char16_t* __restrict to, const unsigned char* __restrict from, size_t n)
{
    for (size_t k = 0; k < n; ++k) to[k] = from[k];
}

}  // namespace

size_t FrameBytes(char16_t* buffer, FramingState* state, const unsigned char* bytes, size_t size,
                  FrameResult* result)
{
    int32_t in = state->inSentence;
    int32_t length = state->sentenceLength;
    FrameResult r = kFrameNone;
    size_t i = 0;
    while (i < size) {
        if (in == 0) {
            const void* dollar = std::memchr(bytes + i, '$', size - i);
            if (dollar == nullptr) {
                i = size;
                break;
            }
            i = static_cast<size_t>(static_cast<const unsigned char*>(dollar) - bytes) + 1;
            in = 1;
            buffer[0] = u'$';
            length = 1;
            continue;
        }
        // The run up to the next end mark, stored as far as the limit allows.
        const size_t runEnd = RunEnd(bytes, i, size);
        const size_t room = static_cast<size_t>(kMaxSentenceLength - length);
        const size_t take = runEnd - i < room ? runEnd - i : room;
        WidenRun(buffer + length, bytes + i, take);
        length += static_cast<int32_t>(take);
        i = runEnd;
        if (i == size) break;
        const unsigned char end = bytes[i++];
        if (end == '$') {
            buffer[0] = u'$';
            length = 1;
            continue;
        }
        in = 0;
        buffer[length] = 0;
        const int32_t stored = length;
        length = 0;
        if (end != '*') continue;  // a line end drops the sentence
        r = HandOver(buffer, stored);
        if (r != kFrameNone) break;
    }
    state->inSentence = in;
    state->sentenceLength = length;
    *result = r;
    return i;
}

FrameResult FrameByte(char16_t* buffer, FramingState* state, unsigned char byte)
{
    FrameResult r = kFrameNone;
    FrameBytes(buffer, state, &byte, 1, &r);
    return r;
}
