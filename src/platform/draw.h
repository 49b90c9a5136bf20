// Drawing: paint surfaces, pens, fonts, memory surfaces, block transfer with a
// raster operation, polylines, ellipses, text in a rectangle, icons; bitmaps
// loaded from files. Colours are 0x00BBGGRR. Every object created for one paint
// is released in it.
#pragma once

#include <cstdint>

#include "platform/resource_types.h"
#include "platform/window.h"

struct PlatformSurface;
using SurfaceHandle = PlatformSurface*;
struct PlatformObject;  // a pen, font or bitmap, selectable into a surface
using ObjectHandle = PlatformObject*;
using BitmapHandle = ObjectHandle;

struct Rect {
    int32_t left, top, right, bottom;
};
struct Point {
    int32_t x, y;
};

constexpr uint32_t kRopSourceAnd = 0x8800C6;  // destination = source AND destination
constexpr uint32_t kPenSolid = 0;
constexpr uint32_t kPenDash = 1;
constexpr uint32_t kDtNoPrefix = 0x0800;
constexpr uint32_t kDtInternal = 0x1000;      // metrics of the system font; top-left, one line, clipped
constexpr uint32_t kDiNormal = 3;             // image through its mask
constexpr int32_t kFontWeightBold = 700;

struct PaintInfo {
    SurfaceHandle surface;
    int32_t erase;     // 1 when the background was erased to white
    Rect paintArea;
};

// Begin / end painting the window's client area (inside message 15 only).
SurfaceHandle BeginPaint(WindowHandle window, PaintInfo* info);
void EndPaint(WindowHandle window, const PaintInfo* info);
void GetClientRect(WindowHandle window, Rect* rect);

uint32_t SetTextColor(SurfaceHandle surface, uint32_t colour);

struct FontAttributes {
    int32_t height;
    int32_t width;
    int32_t escapement;
    int32_t orientation;
    int32_t weight;
    uint8_t italic, underline, strikeOut, charSet;
    uint8_t outPrecision, clipPrecision, quality, pitchAndFamily;
    char16_t faceName[32];
};
ObjectHandle CreateFontObject(const FontAttributes* attributes);
ObjectHandle CreatePenObject(uint32_t style, int32_t width, uint32_t colour);

// Selects object into surface and returns the object it replaces (to select back).
ObjectHandle SelectObject(SurfaceHandle surface, ObjectHandle object);
// Releases a font, pen or bitmap (not one selected into a surface). 1 on success.
int DeleteObject(ObjectHandle object);

SurfaceHandle CreateCompatibleSurface(SurfaceHandle surface);
int DeleteSurface(SurfaceHandle surface);

// Size of a bitmap in pixels; 0 when the handle is empty.
int GetBitmapSize(BitmapHandle bitmap, int32_t* width, int32_t* height);

// Copies width x height pixels from source (x0, y0) to destination (x, y) with the
// ternary raster operation rop. Only the part inside the destination is touched.
int BlockTransfer(SurfaceHandle destination, int32_t x, int32_t y, int32_t width, int32_t height,
                  SurfaceHandle source, int32_t x0, int32_t y0, uint32_t rop);

// Scaled transfer: the source rectangle (x0, y0, sourceWidth, sourceHeight) onto
// the destination rectangle (x, y, width, height) with rop (kRopSourceAnd). Only
// the part inside the destination is touched, and only the source pixels it
// needs are read: a reduction samples the source (its cost is the destination's
// area, whatever the bitmap's size), an enlargement interpolates smoothly. Equal
// sizes give exactly BlockTransfer's pixels.
int StretchTransfer(SurfaceHandle destination, int32_t x, int32_t y, int32_t width, int32_t height,
                    SurfaceHandle source, int32_t x0, int32_t y0, int32_t sourceWidth, int32_t sourceHeight,
                    uint32_t rop);

// Colour filters over a rectangle of a surface: kFilterDim greys and darkens what
// is there (a map kept without a fix); kFilterNight dims it and shifts it to red,
// for eyes used to the dark.
constexpr uint32_t kFilterDim = 1;
constexpr uint32_t kFilterNight = 2;
int FilterSurface(SurfaceHandle surface, const Rect* rect, uint32_t filter);

int Polyline(SurfaceHandle surface, const Point* points, int32_t count);
// Outline with the current pen, inside filled white.
int Ellipse(SurfaceHandle surface, int32_t left, int32_t top, int32_t right, int32_t bottom);
// Text (length -1: up to the terminator) at the rectangle's top-left corner in the
// current font and text colour, on an opaque white band, clipped to the rectangle.
int DrawTextInRect(SurfaceHandle surface, const char16_t* text, int32_t length, Rect* rect, uint32_t format);
// Icon at (x, y); width and height 0 draw it at its own size.
int DrawIconAt(SurfaceHandle surface, int32_t x, int32_t y, IconHandle icon, int32_t width, int32_t height,
               uint32_t step, void* brush, uint32_t flags);

// Loads a bitmap file, its format decided by its first bytes: BMP (1, 4, 8, 16,
// 24 or 32 bits, bottom-up or top-down, bit fields, OS/2 headers), PNG or JPEG;
// any other format is refused. An uncompressed BMP is read in place, of any size:
// opening reads its header, drawing reads only what is drawn. PNG, JPEG and
// run-length BMP are decoded whole, up to 150 million pixels. Only a regular
// file (or a link to one) is read; anything else counts as missing. Empty
// (nullptr) when it cannot be loaded; --verbose says why. devicePath goes
// through the device root.
BitmapHandle LoadBitmapFile(const char16_t* devicePath);
