// Test helpers for the navigation state: a start from the program's zero state,
// parsing of a constant sentence in a writable copy, and feeding bytes through
// the sentence framing with a buffer of the reader thread's size.
#pragma once

#include <cstring>
#include <mutex>
#include <string>

#include "base/text.h"
#include "gps/emulation.h"
#include "gps/framing.h"
#include "gps/gps_state.h"
#include "store/settings.h"

// Every number 0, both letters 0, both texts and displayLine empty; switches off.
inline void StartFromZero()
{
    std::lock_guard<std::mutex> lock(gpsMutex);
    gpsState = GpsState{};
    std::memset(displayLine, 0, sizeof displayLine);
    emulationStep = 0;
    settings.gpsEmulation = 0;
    gotoActive = 0;
}

// Parses a copy of text (the parsers write into their text); returns the token
// count. copyOut, when given, receives the text as the parser left it.
inline int32_t ParseGgaText(const char16_t* text, std::u16string* copyOut = nullptr)
{
    char16_t buffer[512] = {};
    CopyText(buffer, 512, text);
    std::lock_guard<std::mutex> lock(gpsMutex);
    const int32_t count = ParseGga(buffer);
    if (copyOut != nullptr) copyOut->assign(buffer, buffer + 512);
    return count;
}

inline int32_t ParseVtgText(const char16_t* text)
{
    char16_t buffer[512] = {};
    CopyText(buffer, 512, text);
    std::lock_guard<std::mutex> lock(gpsMutex);
    return ParseVtg(buffer);
}

inline std::u16string DisplayLineText()
{
    char16_t line[kDisplayLineSize];
    SnapshotDisplayLine(line);
    return std::u16string(line);
}

// A framer with its own buffer, as the reader thread has; counts what it handed.
struct Framer {
    char16_t buffer[kSentenceBufferSize] = {};
    FramingState state = {0, 0};
    int gga = 0;
    int vtg = 0;
    int ignored = 0;

    void Feed(const std::string& bytes)
    {
        for (char c : bytes) {
            switch (FrameByte(buffer, &state, static_cast<unsigned char>(c))) {
            case kFrameGga: ++gga; break;
            case kFrameVtg: ++vtg; break;
            case kFrameIgnored: ++ignored; break;
            default: break;
            }
        }
    }
};

inline std::string Utf8(const std::u16string& text) { return TextToUtf8(text.c_str()); }
