// Track log "\Scheda di memoria\GpsLog.txt": one semicolon-separated line per call,
//   44.348733;11.717500;163400.0;1;0.000000;0.000000 \n
//   latitude  longitude utcTime fix speedKmh course   (a space before the line end)
// appended and closed at once, so the file is complete after every line.
#pragma once

extern const char16_t kTrackLogPath[];

constexpr int kTrackLineSize = 128;

// 1 when a fix may be logged: every number finite, latitude at most 90 and
// longitude at most 180 either way, and not exactly 0, 0 (what fields that were not numbers
// leave). A sentence corrupted on the wire is thus never logged as a place.
int IsLoggablePosition(double latitude, double longitude, double speedKmh, double course);

// Appends the current fix (a snapshot of gpsState) when IsLoggablePosition takes
// it. A missing card or folder drops the line without a message; the next call
// tries again.
void AppendTrackLog();
