#include "gps/emulation.h"

#include <mutex>

#include "base/text.h"
#include "gps/gps_state.h"

const char16_t* const kCannedSentences[kCannedSentenceCount] = {
    u"$GPGGA,163400.0,4420.924,N,01143.050,E,1,5,1.69,00030,M,047,M,,*65\n",
    u"$GPGGA,163410.0,4420.924,N,01143.038,E,1,5,1.69,00030,M,047,M,,*65\n",
    u"$GPGGA,163420.0,4420.924,N,01143.010,E,1,5,1.69,00030,M,047,M,,*65\n",
    u"$GPGGA,163430.0,4420.924,N,01143.005,E,1,5,1.69,00030,M,047,M,,*65\n",
    u"$GPGGA,163440.0,4420.924,N,01143.000,E,1,5,1.69,00030,M,047,M,,*65\n",
};

int32_t emulationStep = 0;

int32_t FeedEmulatedSentence(int32_t enabled)
{
    if (enabled == 0) return 0;
    if (emulationStep < 0 || emulationStep >= kCannedSentenceCount) emulationStep = 0;
    ++emulationStep;
    const char16_t* sentence = kCannedSentences[emulationStep - 1];
    if (emulationStep >= kCannedSentenceCount) emulationStep = 0;
    std::lock_guard<std::mutex> lock(gpsMutex);
    CopyText(displayLine, kDisplayLineSize, sentence);
    return ParseGga(displayLine);
}
