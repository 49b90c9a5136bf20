// Sound: play a wave file by name, synchronously, through ALSA's "default" device.
// A missing or unreadable file plays a short built-in tone; without a sound
// device nothing is heard and nothing is reported (no message, no waiting).
#pragma once

#include <cstdint>

constexpr uint32_t kSoundFilename = 0x20000;  // the name is a file name

// The built-in tone for a file that cannot be played: 880 Hz for 150 ms, 16-bit
// mono at 22050 frames per second.
constexpr int32_t kDefaultToneHz = 880;
constexpr int32_t kDefaultToneRate = 22050;
constexpr int32_t kDefaultToneFrames = kDefaultToneRate * 150 / 1000;

// Playback stops after this long, so that a long file cannot hold the
// interface: the rest of the file is not played.
constexpr int32_t kMaxSoundSeconds = 10;

// Plays devicePath (through the device root) and returns when it has finished.
// A missing or unreadable file, or a name that is not a regular file (a FIFO,
// a device), plays the built-in default tone; only the first kMaxSoundSeconds
// of a longer file are played; without a sound
// device nothing is heard and nothing is reported. Returns 1 when a sound was
// played (the file or the default tone), 0 otherwise. flags: kSoundFilename (the
// only form this platform knows; the name is always taken as a file name).
int PlaySoundFile(const char16_t* devicePath, uint32_t flags);
