// Sound: play a wave file by name, synchronously.
#pragma once

#include <cstdint>

constexpr uint32_t kSoundFilename = 0x20000;  // the name is a file name

// Plays devicePath (through the device root) and returns when it has finished.
// A missing or unreadable file plays the built-in default tone; without a sound
// device nothing is heard and nothing is reported. Returns 1 when a sound was
// played (the file or the default tone), 0 otherwise.
int PlaySoundFile(const char16_t* devicePath, uint32_t flags);
