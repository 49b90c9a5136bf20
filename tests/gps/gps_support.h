// Shared by the navigation tests: a start from the zero state, parsing a writable copy of a
// sentence, a receiver log's bytes, and a framer with the reader thread's buffer counting results.
#pragma once

#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>

#include "base/text.h"
#include "gps/emulation.h"
#include "gps/framing.h"
#include "gps/gps_state.h"
#include "store/settings.h"

inline void StartFromZero()
{
    std::lock_guard<std::mutex> lock(gpsMutex);
    gpsState = GpsState{};
    std::memset(displayLine, 0, sizeof displayLine);
    emulationStep = settings.gpsEmulation = gotoActive = 0;
}

// Parses a copy (the parsers write into their text); after, when given, gets the text as left.
inline int32_t Parse(int32_t (*parser)(char16_t*), const char16_t* text, std::u16string* after = nullptr)
{
    char16_t buffer[512] = {};
    CopyText(buffer, 512, text);
    std::lock_guard<std::mutex> lock(gpsMutex);
    const int32_t count = parser(buffer);
    if (after != nullptr) after->assign(buffer, 512);
    return count;
}

inline std::u16string Line()
{
    char16_t line[kDisplayLineSize];
    SnapshotDisplayLine(line);
    return line;
}

inline std::string ReadLog(const std::string& name)
{
    std::ifstream in(std::string(VELKAR_SHARED_DIR) + "/nmea-corpus/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Framer {
    char16_t buffer[kSentenceBufferSize] = {};
    FramingState state = {0, 0};
    int count[4] = {};  // by FrameResult
    void Feed(const std::string& bytes)
    {
        for (char c : bytes) ++count[FrameByte(buffer, &state, static_cast<unsigned char>(c))];
    }
};
