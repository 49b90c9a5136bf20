// Synchronous wave playback: libsndfile decodes, ALSA's "default" PCM plays with
// blocking writes, then drains. Files that cannot be decoded give the built-in
// tone; a missing device gives silence; playback is cut after kMaxSoundSeconds.
// ALSA's own error printing is switched off.
#include "platform/sound.h"

#include <alsa/asoundlib.h>
#include <sndfile.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include "platform/diagnostics.h"
#include "platform/files.h"

namespace {

constexpr unsigned kLatencyUs = 100000;  // ALSA buffer latency asked for, microseconds
constexpr sf_count_t kChunkFrames = 4096;
constexpr int kMaxChannels = 16;
constexpr int kMaxRate = 768000;

// ALSA reports configuration and device errors on standard error by default; a
// machine without sound must stay silent.
void QuietAlsaError(const char*, int, const char*, int, const char*, ...) {}

void SilenceAlsaOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(QuietAlsaError); });
}

// Opens "default" without waiting for a busy device, then switches to blocking
// writes. nullptr when there is no usable device.
// Says under --verbose which sound device plays, or that there is none, when
// that changes (the first time, and when a device comes or goes).
void SaySoundDevice(snd_pcm_t* pcm, int error)
{
    static int said = -1;  // -1 nothing yet, 0 no device, 1 a device
    if (!VerboseEnabled()) return;
    const int now = pcm != nullptr ? 1 : 0;
    if (now == said) return;
    said = now;
    if (pcm != nullptr)
        VerboseLine("sound plays on the ALSA device \"%s\"", snd_pcm_name(pcm));
    else
        VerboseLine("no sound device: the ALSA device \"default\" cannot be opened (%s); nothing is heard",
                    snd_strerror(error));
}

snd_pcm_t* OpenPlayback(snd_pcm_format_t format, unsigned channels, unsigned rate)
{
    snd_pcm_t* pcm = nullptr;
    const int opened = snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    SaySoundDevice(opened < 0 ? nullptr : pcm, opened);
    if (opened < 0) return nullptr;
    if (snd_pcm_nonblock(pcm, 0) < 0 ||
        snd_pcm_set_params(pcm, format, SND_PCM_ACCESS_RW_INTERLEAVED, channels, rate, 1, kLatencyUs) < 0) {
        snd_pcm_close(pcm);
        return nullptr;
    }
    return pcm;
}

// Writes all frames, recovering from under-runs; 0 when the device gave up.
int WriteFrames(snd_pcm_t* pcm, const void* data, snd_pcm_uframes_t frames, size_t frameBytes)
{
    const char* p = static_cast<const char*>(data);
    while (frames > 0) {
        snd_pcm_sframes_t n = snd_pcm_writei(pcm, p, frames);
        if (n < 0) {
            if (snd_pcm_recover(pcm, static_cast<int>(n), 1) < 0) return 0;
            continue;
        }
        p += static_cast<size_t>(n) * frameBytes;
        frames -= static_cast<snd_pcm_uframes_t>(n);
    }
    return 1;
}

void Finish(snd_pcm_t* pcm)
{
    snd_pcm_drain(pcm);
    snd_pcm_close(pcm);
}

int PlayDefaultTone()
{
    snd_pcm_t* pcm = OpenPlayback(SND_PCM_FORMAT_S16, 1, kDefaultToneRate);
    if (pcm == nullptr) return 0;
    std::vector<int16_t> tone(kDefaultToneFrames);
    constexpr double kAmplitude = 0.3 * 32767.0;
    constexpr int kRampFrames = 220;  // 10 ms fade in and out: no click at either end
    for (int i = 0; i < kDefaultToneFrames; ++i) {
        double gain = 1.0;
        if (i < kRampFrames) gain = double(i) / kRampFrames;
        if (kDefaultToneFrames - 1 - i < kRampFrames) gain = double(kDefaultToneFrames - 1 - i) / kRampFrames;
        const double phase = 2.0 * M_PI * kDefaultToneHz * double(i) / kDefaultToneRate;
        tone[i] = static_cast<int16_t>(std::lrint(kAmplitude * gain * std::sin(phase)));
    }
    const int ok = WriteFrames(pcm, tone.data(), tone.size(), sizeof(int16_t));
    Finish(pcm);
    return ok;
}

std::vector<float>& FloatChunk(unsigned channels)
{
    static thread_local std::vector<float> chunk;
    chunk.resize(static_cast<size_t>(kChunkFrames) * channels);
    return chunk;
}

std::vector<int16_t>& ShortChunk(unsigned channels)
{
    static thread_local std::vector<int16_t> chunk;
    chunk.resize(static_cast<size_t>(kChunkFrames) * channels);
    return chunk;
}

// Plays an opened file in its own rate and channel count: float and double
// encodings as 32-bit float, everything else as signed 16-bit. -1 when the device
// cannot be opened, else 1 (0 when it failed while playing).
int PlayDecoded(SNDFILE* file, const SF_INFO& info)
{
    const int subtype = info.format & SF_FORMAT_SUBMASK;
    const bool isFloat = subtype == SF_FORMAT_FLOAT || subtype == SF_FORMAT_DOUBLE;
    const unsigned channels = static_cast<unsigned>(info.channels);
    const unsigned rate = static_cast<unsigned>(info.samplerate);
    snd_pcm_t* pcm = nullptr;
    if (isFloat) pcm = OpenPlayback(SND_PCM_FORMAT_FLOAT, channels, rate);
    const bool asFloat = pcm != nullptr;
    if (pcm == nullptr) pcm = OpenPlayback(SND_PCM_FORMAT_S16, channels, rate);
    if (pcm == nullptr) return -1;

    // The player is synchronous: a long file is cut, so the interface waits at
    // most kMaxSoundSeconds.
    const sf_count_t limit = static_cast<sf_count_t>(kMaxSoundSeconds) * info.samplerate;
    sf_count_t played = 0;
    int ok = 1;
    while (ok && played < limit) {
        const sf_count_t want = std::min(kChunkFrames, limit - played);
        sf_count_t n;
        if (asFloat) {
            std::vector<float>& chunk = FloatChunk(channels);
            n = sf_readf_float(file, chunk.data(), want);
            if (n > 0) ok = WriteFrames(pcm, chunk.data(), static_cast<snd_pcm_uframes_t>(n), channels * sizeof(float));
        } else {
            std::vector<int16_t>& chunk = ShortChunk(channels);
            n = sf_readf_short(file, chunk.data(), want);
            if (n > 0) ok = WriteFrames(pcm, chunk.data(), static_cast<snd_pcm_uframes_t>(n), channels * sizeof(int16_t));
        }
        if (n <= 0) break;
        played += n;
    }
    if (played >= limit && played < info.frames)
        VerboseLine("sound cut after %d s (%lld of %lld frames played)", static_cast<int>(kMaxSoundSeconds),
                    static_cast<long long>(played), static_cast<long long>(info.frames));
    Finish(pcm);
    return ok;
}

}  // namespace

int PlaySoundFile(const char16_t* devicePath, uint32_t flags)
{
    SilenceAlsaOnce();
    SF_INFO info = {};
    SNDFILE* file = nullptr;
    int fd = -1;  // closed here: libsndfile is told to leave it open
    if (devicePath != nullptr && devicePath[0] != 0) {
        // Opened without waiting and only when a regular file: a FIFO or a device
        // counts as missing.
        fd = OpenRegularFileForReading(DevicePathToHost(devicePath));
        if (fd >= 0) {
            file = sf_open_fd(fd, SFM_READ, &info, SF_FALSE);
        } else {
            VerboseLine("sound %s missing or not a regular file", DevicePathToHost(devicePath).c_str());
        }
    }
    // Only what a sound device can be asked to play counts as playable; anything
    // else (no file, not a sound, absurd header values) gives the default tone.
    if (file != nullptr &&
        !(info.channels >= 1 && info.channels <= kMaxChannels && info.samplerate >= 1 &&
          info.samplerate <= kMaxRate && info.frames > 0)) {
        sf_close(file);
        file = nullptr;
    }
    if (file == nullptr) {
        if (fd >= 0) close(fd);
        return PlayDefaultTone();
    }
    const int played = PlayDecoded(file, info);
    sf_close(file);
    close(fd);
    // A device that exists but cannot take the file's format still gets the tone.
    if (played == -1) return PlayDefaultTone();
    return played;
}
