// The layout of a BMP file as the navigator reads it: size, depth, palette,
// bit masks and where the rows lie, taken from the file's header by the rules of
// Qt's BMP reader, every byte read inside the file. Used by the map loader (which
// reads the rows in place) and by velkar-map's check of a catalogue's bitmaps.
// Standard library only; pure, safe on any thread.
//
// BMP layout read here (little-endian):
//   0  "BM"  2 file size  10 pixel-data offset
//   14 header size (12: OS/2, 16-bit width and height; 40, 64, 108 or 124)
//   18 width  22 height (< 0: top-down)  26 planes  28 bits per pixel
//   30 compression (0 none, 1 and 2 run-length, 3 bit fields)  46 colours used
//   54 red, green, blue, alpha masks (headers of 108 and 124 bytes)
//   then the bit masks (compression 3, headers of 40 and 64) and the palette
//   (4 bytes a colour: blue, green, red, unused; 3 bytes with the OS/2 header).
#pragma once

#include <cstdint>

// Everything needed to turn a stored row into 0xFFRRGGBB pixels.
struct BmpLayout {
    int32_t width = 0, height = 0;   // pixels
    bool topDown = false;
    int bits = 0;                    // 1, 4, 8, 16, 24 or 32
    bool plain = false;              // 24 or 32 bits, blue, green, red bytes, no alpha
    bool alpha = false;              // laid over white through its alpha
    int64_t stride = 0;              // bytes per row in the file
    int64_t pixelStart = 0;          // offset of the first row stored
    uint32_t palette[256] = {};      // 0xFFRRGGBB, also for indices past the colours given
    uint32_t mask[4] = {}, shift[4] = {}, scale[4] = {};  // red, green, blue, alpha
};

// Where the header leaves the file: read in place, decoded whole (run-length), or refused.
enum class BmpRoute { InPlace, DecodeWhole, Refused };

// Bytes of a file's start that hold every header field, mask and palette entry
// ReadBmpLayout reads.
constexpr int64_t kBmpHeadBytes = 2048;

// Reads the header of a BMP file of size bytes into m; f holds the whole file or
// at least its first min(size, kBmpHeadBytes) bytes. *why says what refused it.
BmpRoute ReadBmpLayout(const uint8_t* f, int64_t size, BmpLayout* m, const char** why);
