// Fuzz target: sound file bytes through libsndfile's real decoder, as the point
// sound player reads them: opened from memory, the header values checked as the
// player checks them, then decoded chunk by chunk (as 16-bit and as float) up to
// kMaxSoundSeconds.
#include <sndfile.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/sound.h"

namespace {

constexpr sf_count_t kChunkFrames = 4096;  // as the player
constexpr int kMaxChannels = 16;
constexpr int kMaxRate = 768000;

struct Memory {
    const uint8_t* data;
    sf_count_t size;
    sf_count_t position;
};

sf_count_t Length(void* user) { return static_cast<Memory*>(user)->size; }

sf_count_t Seek(sf_count_t offset, int whence, void* user)
{
    Memory& m = *static_cast<Memory*>(user);
    sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? m.position : m.size;
    const sf_count_t to = base + offset;
    if (to < 0 || to > m.size) return -1;
    return m.position = to;
}

sf_count_t Read(void* out, sf_count_t count, void* user)
{
    Memory& m = *static_cast<Memory*>(user);
    const sf_count_t n = std::max<sf_count_t>(0, std::min(count, m.size - m.position));
    if (n > 0) std::memcpy(out, m.data + m.position, static_cast<size_t>(n));
    m.position += n;
    return n;
}

sf_count_t Write(const void*, sf_count_t, void*) { return 0; }
sf_count_t Tell(void* user) { return static_cast<Memory*>(user)->position; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    SF_VIRTUAL_IO io{Length, Seek, Read, Write, Tell};
    for (const bool asFloat : {false, true}) {
        Memory memory{data, static_cast<sf_count_t>(size), 0};
        SF_INFO info{};
        SNDFILE* file = sf_open_virtual(&io, SFM_READ, &info, &memory);
        if (file == nullptr) return 0;
        if (!(info.channels >= 1 && info.channels <= kMaxChannels && info.samplerate >= 1 &&
              info.samplerate <= kMaxRate && info.frames > 0)) {
            sf_close(file);
            return 0;
        }
        const size_t channels = static_cast<size_t>(info.channels);
        const sf_count_t limit = static_cast<sf_count_t>(kMaxSoundSeconds) * info.samplerate;
        std::vector<int16_t> shorts(static_cast<size_t>(kChunkFrames) * channels);
        std::vector<float> floats(static_cast<size_t>(kChunkFrames) * channels);
        sf_count_t played = 0;
        while (played < limit) {
            const sf_count_t want = std::min(kChunkFrames, limit - played);
            const sf_count_t n = asFloat ? sf_readf_float(file, floats.data(), want)
                                         : sf_readf_short(file, shorts.data(), want);
            if (n <= 0) break;
            if (n > want) __builtin_trap();  // more frames than the buffer holds
            played += n;
        }
        sf_close(file);
    }
    return 0;
}
