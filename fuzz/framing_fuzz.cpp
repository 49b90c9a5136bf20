// Fuzz target: receiver bytes through the sentence framing byte by byte and in one
// run (switches off, so every GGA/VTG/RMC/GNS reaches its parser), then the same
// bytes as wide text straight into each parser. Traps when a limit is broken.
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "base/text.h"
#include "gps/framing.h"
#include "gps/gps_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    char16_t buffer[kSentenceBufferSize] = {};
    FramingState state = {0, 0};
    for (size_t i = 0; i < size; ++i) {
        FrameByte(buffer, &state, data[i]);
        if (!(state.sentenceLength >= 0 && state.sentenceLength <= kMaxSentenceLength)) __builtin_trap();
    }
    FramingState run = {0, 0};
    for (size_t at = 0; at < size;) {
        FrameResult r = kFrameNone;
        const size_t took = FrameBytes(buffer, &run, data + at, size - at, &r);
        if (took == 0 || took > size - at || run.sentenceLength > kMaxSentenceLength) __builtin_trap();
        at += took;
    }
    if (run.inSentence != state.inSentence || run.sentenceLength != state.sentenceLength) __builtin_trap();

    // Each byte one code unit, as the serial link makes them; a NUL ends the text.
    std::vector<char16_t> text(size + 1, 0);
    for (size_t i = 0; i < size; ++i) text[i] = data[i];
    std::vector<char16_t> copy = text, rmc = text, gns = text;
    {
        std::lock_guard<std::mutex> lock(gpsMutex);
        ParseGga(text.data());
        ParseVtg(copy.data());
        ParseRmc(rmc.data());
        ParseGns(gns.data());
        if (TextLength(gpsState.utcTime) > 11 || TextLength(gpsState.prevUtcTime) > 11) __builtin_trap();
    }
    char16_t line[kDisplayLineSize];
    SnapshotDisplayLine(line);
    if (TextLength(line) > static_cast<size_t>(kMaxSentenceLength)) __builtin_trap();
    return 0;
}
