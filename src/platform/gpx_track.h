// A GPX 1.1 track file being recorded: opened with its header, one track point
// appended per call and flushed at once, so that the file on disk is always a
// whole GPX document (a crash loses at most the point being written).
#pragma once

#include <cstdint>

struct GpxTrack;
using GpxTrackHandle = GpxTrack*;

struct GpxPoint {
    double latitude;    // decimal degrees, north positive
    double longitude;   // decimal degrees, east positive
    double altitude;    // metres as received
    int hasAltitude;    // 0: no <ele>
    char time[24];      // "YYYY-MM-DDThh:mm:ssZ" (or with ".ss"); "" for no <time>
};

// Creates the file at devicePath (its folder is created when missing) with an
// empty track named name; nullptr when it cannot be created. An existing file of
// that name is never overwritten.
GpxTrackHandle OpenGpxTrack(const char16_t* devicePath, const char16_t* name);
// Appends one point and flushes; 0 when the file could not take it (the file
// keeps the points written before).
int AppendGpxPoint(GpxTrackHandle track, const GpxPoint* point);
void CloseGpxTrack(GpxTrackHandle track);
