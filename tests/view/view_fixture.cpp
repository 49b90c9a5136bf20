// Set-up for painted-view tests and benchmarks (see view_fixture.h).
#include "view_fixture.h"
#include <utility>
#include "app/globals.h"
#include "platform/files.h"
#include "platform/qt/qt_handles.h"
#include "view/view.h"

namespace viewtest {
namespace {
std::string root;
const char16_t* referenceText = nullptr;
Rect referenceRect = {};
std::string iconSvg[kArrowCount];  // solid squares of kArrowColours
IconResource icons[kArrowCount];
ResourceTable table = {};

intptr_t TestViewProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message != kMsgPaint) return DefaultWindowProc(window, message, wParam, lParam);
    if (referenceText == nullptr) return PaintMainView(window), 1;
    PaintInfo info = {};
    SurfaceHandle dc = BeginPaint(window, &info);
    Rect r = referenceRect;
    SetTextColor(dc, colourTable[2]);
    ObjectHandle old = SelectObject(dc, CreateViewFont(22));
    DrawTextInRect(dc, referenceText, -1, &r, kDtInternal);
    DeleteObject(SelectObject(dc, old));
    return EndPaint(window, &info), 1;
}
}  // namespace

std::string SetUpViewWorld()
{
    if ((root = MakeTempFolder("view")).empty()) return "";
    for (const char* dir : {"/Scheda di memoria/Velkar", "/My Documents/Velkar"}) std::filesystem::create_directories(root + dir);
    WriteFile(root + "/asoundrc", "pcm.!default { type file slave.pcm { type null } file \"" + SinkPath() +
                                      "\" format \"raw\" }\n");
    setenv("ALSA_CONFIG_PATH", (root + "/asoundrc").c_str(), 1);
    SetDeviceRoot(root);
    table.icons = icons, table.iconCount = kArrowCount;
    for (int i = 0; i < kArrowCount; ++i) {
        char colour[8];
        std::snprintf(colour, sizeof colour, "#%06X", kArrowColours[i]);
        iconSvg[i] = std::string("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"32\" height=\"32\">"
                                 "<rect width=\"32\" height=\"32\" fill=\"") + colour + "\"/></svg>";
        icons[i] = IconResource{116 + i, iconSvg[i].c_str(), iconSvg[i].size(), 32};
        arrowIcons[i] = LoadIconResource(&table, 116 + i);
    }
    static const WindowClass wc = {3, TestViewProc, &table, 0, u"VelkarViewTest"};
    static const int registered = RegisterWindowClass(&wc);
    return registered == 1 ? root : "";
}
void TearDownViewWorld()
{
    for (IconHandle& icon : arrowIcons)
        if (icon != nullptr) DestroyIconHandle(std::exchange(icon, nullptr));
    if (mapBitmap != nullptr) DeleteObject(std::exchange(mapBitmap, nullptr));
    if (!root.empty()) std::filesystem::remove_all(root);
}
std::string SinkPath() { return root + "/sink.raw"; }
std::string Le(const std::vector<int64_t>& values, int bytes)
{
    std::string s;
    for (int64_t v : values)
        for (int i = 0; i < bytes; ++i) s.push_back(char((uint64_t(v) >> (8 * i)) & 0xFF));
    return s;
}
std::string BmpBytes(int32_t width, int32_t height, int bits, bool topDown,
                     const std::function<uint32_t(int32_t, int32_t)>& pixel)
{
    const int64_t stride = (int64_t(width) * bits + 31) / 32 * 4, size = stride * height;
    // 14-byte file header, 40-byte info header, BI_RGB, 2835 pixels per metre.
    std::string s = "BM" + Le({54 + size, 0, 54, 40, width, topDown ? -height : height}, 4) + Le({1, bits}, 2) +
                    Le({0, size, 2835, 2835, 0, 0}, 4);
    for (int32_t i = 0; i < height; ++i) {
        std::string row;
        for (int32_t x = 0; x < width; ++x) row += Le({pixel(x, topDown ? i : height - 1 - i)}, bits / 8);
        s += row.append(size_t(stride) - row.size(), '\0');
    }
    return s;
}
std::string WaveBytes(uint16_t formatTag, uint16_t channels, uint32_t rate, uint16_t bits, const std::string& data)
{
    return "RIFF" + Le({int64_t(36 + data.size())}, 4) + "WAVEfmt " + Le({16}, 4) + Le({formatTag, channels}, 2) +
           Le({rate, int64_t(rate) * channels * bits / 8}, 4) + Le({channels * bits / 8, bits}, 2) + "data" +
           Le({int64_t(data.size())}, 4) + data;
}
WindowHandle CreateViewWindow(int32_t width, int32_t height)
{
    return CreateMainWindow(u"VelkarViewTest", u"view test", 0, kUseDefault, kUseDefault, width, height);
}
void SetReferenceText(const char16_t* text, int32_t left, int32_t top)
{
    referenceText = text, referenceRect = Rect{left, top, 4096, 4096};
}
QImage PaintFrame(WindowHandle window, int erase)
{
    return InvalidateWindow(window, erase), UpdateWindowNow(window), ClientImage(window);
}
}  // namespace viewtest
