// Set-up for the tests and benchmarks that paint the main view in a real offscreen window: a device root in
// /tmp, ALSA pointed at a raw file sink, solid-colour arrow icons, BMP and WAVE files written byte by byte.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>
#include <QImage>
#include "../support/common.h"
#include "platform/draw.h"
#include "platform/window.h"

namespace viewtest {
std::string SetUpViewWorld();  // the root ("" on failure), with "Scheda di memoria/Velkar" and "My Documents/Velkar"
void TearDownViewWorld();
std::string SinkPath();  // raw samples of the sounds played since it was removed
inline constexpr uint32_t kArrowColours[] = {0xCC0000, 0x00CC00, 0xCCCC00, 0x00CCCC, 0xCC00CC, 0x884400, 0x448800, 0x004488};
std::string Le(const std::vector<int64_t>& values, int bytes);  // little-endian, `bytes` bytes each
// A 24- or 32-bit BMP, bottom-up or top-down; pixel gives 0xRRGGBB.
std::string BmpBytes(int32_t width, int32_t height, int bits, bool topDown,
                     const std::function<uint32_t(int32_t, int32_t)>& pixel);
std::string WaveBytes(uint16_t formatTag, uint16_t channels, uint32_t rate, uint16_t bits, const std::string& data);
// A main window painted by PaintMainView, or, while a reference text is set, only that text in the view's
// font and colour at (left, top).
WindowHandle CreateViewWindow(int32_t width, int32_t height);
void SetReferenceText(const char16_t* text, int32_t left, int32_t top);  // nullptr: the view again
QImage PaintFrame(WindowHandle window, int erase = 1);  // paints now, returns the client area
}  // namespace viewtest
