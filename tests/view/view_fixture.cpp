// Set-up for painted-view tests: a temporary device root, ALSA on a file sink,
// stand-in arrow icons of solid colours, BMP writing, and the test window.
#include "view_fixture.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>

#include "app/globals.h"
#include "platform/files.h"
#include "platform/qt/qt_handles.h"
#include "view/view.h"

namespace viewtest {

namespace fs = std::filesystem;

namespace {

std::string root;
const char16_t* referenceText = nullptr;
int32_t referenceLeft = 0;
int32_t referenceTop = 0;

const uint32_t kArrowColours[kArrowCount] = {0xCC0000, 0x00CC00, 0xCCCC00, 0x00CCCC,
                                             0xCC00CC, 0x884400, 0x448800, 0x004488};
std::string iconSvg[kArrowCount];
IconResource icons[kArrowCount];
ResourceTable table = {};

intptr_t TestViewProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message != kMsgPaint) return DefaultWindowProc(window, message, wParam, lParam);
    if (referenceText == nullptr) {
        PaintMainView(window);
        return 1;
    }
    // The text alone, with the view's own font, colour and format.
    PaintInfo info = {};
    SurfaceHandle dc = BeginPaint(window, &info);
    Rect r;
    GetClientRect(window, &r);
    r.left = referenceLeft;
    r.top = referenceTop;
    SetTextColor(dc, colourTable[2]);
    ObjectHandle font = CreateViewFont(22);
    ObjectHandle old = SelectObject(dc, font);
    DrawTextInRect(dc, referenceText, -1, &r, kDtInternal);
    SelectObject(dc, old);
    DeleteObject(font);
    EndPaint(window, &info);
    return 1;
}

void PutLe(std::string& s, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

}  // namespace

std::string SetUpViewWorld()
{
    char pattern[] = "/tmp/velkar-view-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return "";
    root = pattern;
    fs::create_directories(fs::path(root) / "Scheda di memoria" / "Velkar");
    fs::create_directories(fs::path(root) / "My Documents" / "Velkar");
    std::ofstream rc(fs::path(root) / "asoundrc");
    rc << "pcm.!default {\n  type file\n  slave.pcm { type null }\n  file \"" << SinkPath()
       << "\"\n  format \"raw\"\n}\n";
    rc.close();
    setenv("ALSA_CONFIG_PATH", (fs::path(root) / "asoundrc").c_str(), 1);
    SetDeviceRoot(root);

    for (int i = 0; i < kArrowCount; ++i) {
        char colour[8];
        std::snprintf(colour, sizeof colour, "#%06X", kArrowColours[i]);
        iconSvg[i] = std::string("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"32\" height=\"32\">"
                                 "<rect width=\"32\" height=\"32\" fill=\"") + colour + "\"/></svg>";
        icons[i] = IconResource{116 + i, iconSvg[i].c_str(), iconSvg[i].size(), 32};
    }
    table.icons = icons;
    table.iconCount = kArrowCount;
    for (int i = 0; i < kArrowCount; ++i) arrowIcons[i] = LoadIconResource(&table, 116 + i);

    static bool registered = false;
    if (!registered) {
        WindowClass wc = {};
        wc.style = 3;
        wc.procedure = TestViewProc;
        wc.instance = &table;
        wc.className = u"VelkarViewTest";
        registered = RegisterWindowClass(&wc) == 1;
    }
    return root;
}

void TearDownViewWorld()
{
    for (int i = 0; i < kArrowCount; ++i) {
        if (arrowIcons[i] != nullptr) DestroyIconHandle(arrowIcons[i]);
        arrowIcons[i] = nullptr;
    }
    if (mapBitmap != nullptr) DeleteObject(mapBitmap);
    mapBitmap = nullptr;
    if (!root.empty()) fs::remove_all(root);
}

std::string SinkPath() { return root + "/sink.raw"; }

uint32_t ArrowColour(int index) { return kArrowColours[index]; }

std::string BmpBytes(int32_t width, int32_t height, int bits, bool topDown,
                     const std::function<uint32_t(int32_t, int32_t)>& pixel)
{
    std::vector<uint32_t> palette;
    std::map<uint32_t, int> paletteIndex;
    if (bits == 8) {
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) {
                const uint32_t c = pixel(x, y);
                if (paletteIndex.count(c) == 0 && palette.size() < 256) {
                    paletteIndex[c] = static_cast<int>(palette.size());
                    palette.push_back(c);
                }
            }
        palette.resize(256, 0);
    }
    const uint32_t stride = ((static_cast<uint32_t>(width) * bits + 31) / 32) * 4;
    const uint32_t paletteBytes = bits == 8 ? 256 * 4 : 0;
    const uint32_t offset = 14 + 40 + paletteBytes;
    std::string s = "BM";
    PutLe(s, offset + stride * static_cast<uint32_t>(height), 4);
    PutLe(s, 0, 4);
    PutLe(s, offset, 4);
    PutLe(s, 40, 4);
    PutLe(s, static_cast<uint32_t>(width), 4);
    PutLe(s, static_cast<uint32_t>(topDown ? -height : height), 4);
    PutLe(s, 1, 2);
    PutLe(s, static_cast<uint32_t>(bits), 2);
    PutLe(s, 0, 4);  // BI_RGB
    PutLe(s, stride * static_cast<uint32_t>(height), 4);
    PutLe(s, 2835, 4);
    PutLe(s, 2835, 4);
    PutLe(s, bits == 8 ? 256 : 0, 4);
    PutLe(s, 0, 4);
    for (uint32_t c : palette) PutLe(s, c & 0xFFFFFF, 4);  // B G R 0 in little-endian order
    for (int32_t i = 0; i < height; ++i) {
        const int32_t y = topDown ? i : height - 1 - i;
        std::string row;
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t c = pixel(x, y);
            if (bits == 8) {
                row.push_back(static_cast<char>(paletteIndex.count(c) ? paletteIndex[c] : 0));
            } else {
                PutLe(row, c & 0xFFFFFF, 3);
                if (bits == 32) row.push_back(0);
            }
        }
        row.resize(stride, 0);
        s += row;
    }
    return s;
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

WindowHandle CreateViewWindow(int32_t width, int32_t height)
{
    return CreateMainWindow(u"VelkarViewTest", u"view test", 0, kUseDefault, kUseDefault, width, height);
}

void SetReferenceText(const char16_t* text, int32_t left, int32_t top)
{
    referenceText = text;
    referenceLeft = left;
    referenceTop = top;
}

QImage PaintFrame(WindowHandle window, int erase)
{
    InvalidateWindow(window, erase);
    UpdateWindowNow(window);
    QImage image = ClientImage(window);
    // VELKAR_VIEW_FRAMES=<folder> keeps every frame as a PNG, for a person to look at.
    static int frameNumber = 0;
    if (const char* folder = std::getenv("VELKAR_VIEW_FRAMES")) {
        image.save(QString::fromUtf8(folder) + QString::asprintf("/frame-%03d.png", frameNumber++));
    }
    return image;
}

}  // namespace viewtest
