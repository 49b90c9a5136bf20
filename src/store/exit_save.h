// The Exit command's save when other programs write the same files: only what the
// user changed in this run (the General settings' switches, a map's calibration)
// is written, over vlcfg.cfg and vlmap.cfg as they are at Exit, under the device
// root's lock, so that a change another program made meanwhile is kept.
#pragma once

#include <cstdint>

// How long a save waits for another program's lock on the device root.
constexpr int32_t kRootLockWaitMs = 10000;

// Writes the settings file: the values on disk, with the fields changed in this
// run (since LoadSettings) taken from memory; a missing or unreadable file gets
// the whole record from memory. Then writes the calibration of every map changed
// in this run into its record of the catalogue (found by bitmap path; the rest of
// the file kept as it is). 1 when everything was written; 0 otherwise, the reason
// said under -v.
int SaveChangedSettings();

// Removes the leftover temporaries of killed runs of this program in the device
// root's folders it writes (settings folder and dev). Returns how many.
int RemoveDeviceRootLeftovers();
