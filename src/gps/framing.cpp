#include "gps/framing.h"

#include <mutex>

#include "base/text.h"
#include "gps/gps_state.h"
#include "store/settings.h"

char16_t sentenceBuffer[kSentenceBufferSize];

FrameResult FrameByte(char16_t* buffer, FramingState* state, unsigned char byte)
{
    FramingState& s = *state;
    if (s.sentenceLength >= kMaxSentenceLength) {
        // Overlong: abandon the sentence; its first 252 characters stay in the
        // buffer for a later '*' to examine.
        s.inSentence = 0;
        s.sentenceLength = 0;
    }
    if (byte == '$') s.inSentence = 1;
    if (byte == '*') {
        s.inSentence = 0;
        s.sentenceLength = 0;
        const bool gga = buffer[3] == u'G' && buffer[4] == u'G' && buffer[5] == u'A';
        const bool vtg = buffer[3] == u'V' && buffer[4] == u'T' && buffer[5] == u'G';
        if (!gga && !vtg) return kFrameNone;
        if (settings.gpsEmulation.load(std::memory_order_relaxed) != 0 ||
            gotoActive.load(std::memory_order_relaxed) != 0) {
            return kFrameIgnored;
        }
        std::lock_guard<std::mutex> lock(gpsMutex);
        CopyText(displayLine, kDisplayLineSize, buffer);
        if (gga) {
            ParseGga(buffer);
            return kFrameGga;
        }
        ParseVtg(buffer);
        return kFrameVtg;
    }
    if (s.inSentence == 1) {
        buffer[s.sentenceLength] = byte;  // a byte b becomes the code unit b
        buffer[s.sentenceLength + 1] = 0;
        ++s.sentenceLength;
    }
    return kFrameNone;
}
