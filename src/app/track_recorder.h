// GPX recording of every accepted fix (View > Record track): one new file under
// "\Scheda di memoria\Velkar\tracks" per recording, fed from the fix history by
// its own timer, each point on disk before the next is taken.
#pragma once

#include <cstdint>

#include "gps/fix_history.h"
#include "platform/window.h"

constexpr uint32_t kRecordTimerId = 11025;
constexpr uint32_t kRecordTimerPeriodMs = 250;  // a 10 Hz receiver's fixes in small batches

// Starts a new track file and the timer (nothing when already recording); fixes
// accepted from now on are written. 0 when the file cannot be created.
int StartTrackRecording(WindowHandle window);
// Writes what is still pending, closes the file and stops the timer.
void StopTrackRecording(WindowHandle window);
// The timer: writes the fixes accepted since the last call. Returns how many.
int32_t RecordNewFixes();
// 1 while a track file is open.
int TrackRecordingActive();

// The point's time as GPX writes it ("YYYY-MM-DDThh:mm:ss[.ss]Z", at most 23
// characters): the fix's time of day with the RMC date when one came, else
// the date of utcNowSeconds (seconds since 1970, UTC); the whole of
// utcNowSeconds when the fix has no usable time. out holds 24 characters.
void FixTimeText(const AcceptedFix& fix, int64_t utcNowSeconds, char* out);
