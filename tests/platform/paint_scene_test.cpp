// The paint path pixel for pixel: a scene drawn as the view draws (map ANDed on the
// erased client, dashed track line, circles, texts on their white bands, an icon)
// through a real main window, compared whole with the PNGs in tests/data/platform,
// on the first paint and on repaints. VELKAR_WRITE_REFERENCE=1 rewrites the PNGs.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/qt/qt_internal.h"
#include "support.h"

namespace {

BitmapHandle sceneMap = nullptr;
PlatformIcon sceneIcon;
int sceneSpeed = 0;  // changes the speed text from paint to paint

void DrawScene(WindowHandle window)
{
    PaintInfo info{};
    SurfaceHandle dc = BeginPaint(window, &info);
    Rect client{};
    GetClientRect(window, &client);
    const int32_t w = client.right, h = client.bottom;
    SurfaceHandle memory = CreateCompatibleSurface(dc);
    ObjectHandle oldBitmap = SelectObject(memory, sceneMap);
    int32_t mw = 0, mh = 0;
    GetBitmapSize(sceneMap, &mw, &mh);
    BlockTransfer(dc, w / 2 - mw / 2 + 37, h / 2 - mh / 2 - 21, mw, mh, memory, 0, 0, kRopSourceAnd);
    SelectObject(memory, oldBitmap), DeleteSurface(memory);

    SetTextColor(dc, 0xFF0000);
    FontAttributes f{};
    f.height = 22, f.weight = kFontWeightBold;
    ObjectHandle font = CreateFontObject(&f), oldFont = SelectObject(dc, font);
    ObjectHandle pen = CreatePenObject(kPenDash, 2, 0xFF0000), oldPen = SelectObject(dc, pen);
    const Point line[] = {{w / 2 - 30, h / 2 + 17}, {w / 2, h / 2}, {w / 2 + 61, h / 2 - 80}};
    Polyline(dc, line, 3);
    Ellipse(dc, line[2].x + 2, line[2].y + 2, line[2].x - 2, line[2].y - 2);
    Rect text = client;
    text.left = 1, text.top = 10;
    DrawTextInRect(dc, u"!2", -1, &text, kDtInternal);
    char16_t speed[32];
    const std::string s = "Fix  " + std::to_string(12 + sceneSpeed % 2) + ".4Km/h";
    for (size_t i = 0; i <= s.size(); ++i) speed[i] = i < s.size() ? char16_t(s[i]) : 0;
    text.top = h - 23;
    DrawTextInRect(dc, speed, -1, &text, kDtInternal);
    Ellipse(dc, w / 2 + 6, h / 2 + 6, w / 2 - 6, h / 2 - 6);
    DrawIconAt(dc, w - 60, h - 38, &sceneIcon, 0, 0, 0, nullptr, kDiNormal);
    SelectObject(dc, oldPen), DeleteObject(pen), SelectObject(dc, oldFont), DeleteObject(font);
    EndPaint(window, &info);
}

intptr_t SceneProc(WindowHandle window, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    if (message == kMsgPaint) return DrawScene(window), 0;
    return DefaultWindowProc(window, message, wParam, lParam);
}

TEST(PaintScene, WholePicturesStayPixelForPixel)
{
    EnsureQtApplication();
    QImage map(700, 420, QImage::Format_RGB32);  // smaller than the large client: white shows round it
    for (int y = 0; y < map.height(); ++y)
        for (int x = 0; x < map.width(); ++x) map.setPixel(x, y, qRgb(x / 3 & 0xFF, 0xE0 - (y / 4 & 0x3F), (x + y) / 5 & 0xFF));
    sceneMap = CreateBitmapFromImage(map);
    sceneIcon.image = QImage(40, 30, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) sceneIcon.image.setPixel(x, y, qPremultiply(qRgba(200, 40, 40, (x * 6 + y * 2) & 0xFF)));
    static const WindowClass wc{3, SceneProc, &testResources, 0, u"Scene"};
    RegisterWindowClass(&wc);
    const bool write = std::getenv("VELKAR_WRITE_REFERENCE") != nullptr;
    const struct { const char* name; int w, h; } rows[] = {  // reference: the paint path as first landed
        {"scene-240x268", 240, 268}, {"scene-640x360", 640, 360}, {"scene-960x540", 960, 540}};
    for (const auto& r : rows) {
        WindowHandle window = CreateMainWindow(u"Scene", u"Scene", kStyleVisible, kUseDefault, kUseDefault, r.w, r.h);
        ASSERT_NE(window, nullptr);
        // Erased with one text, then another, then the first again; then unerased,
        // drawing over the last picture as the view's repaints without erase do.
        const struct { bool erase; int speed; const char* reference; } paints[] = {
            {true, 0, ""}, {true, 1, nullptr}, {true, 0, ""}, {false, 0, "-over"}};
        for (const auto& p : paints) {
            sceneSpeed = p.speed;
            InvalidateWindow(window, p.erase ? 1 : 0);
            UpdateWindowNow(window);
            if (p.reference == nullptr) continue;
            const QImage picture = ClientImage(window);
            const std::string png = std::string(VELKAR_SOURCE_DIR) + "/tests/data/platform/" + r.name + p.reference + ".png";
            if (write) {
                ASSERT_TRUE(picture.save(QString::fromStdString(png)));
            }
            const QImage reference = QImage(QString::fromStdString(png)).convertToFormat(QImage::Format_RGB32);
            ASSERT_EQ(picture.size(), reference.size()) << png;
            int differ = 0;
            for (int y = 0; y < picture.height(); ++y)
                for (int x = 0; x < picture.width(); ++x) differ += Rgb(picture, x, y) != Rgb(reference, x, y);
            EXPECT_EQ(differ, 0) << png << ": pixels unlike the reference";
        }
        DestroyMainWindow(window);
    }
    DeleteObject(sceneMap);
}

}  // namespace
