// Records shared by the Qt side of the window layer: what a window handle, a
// drawing surface and a graphic object hold, and the program-wide options.
// Used only inside src/platform/qt/; the system's code sees opaque handles.
#pragma once

#include <QFont>
#include <QImage>
#include <QPen>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <map>
#include <memory>
#include <string>
#include <tuple>

#include "platform/draw.h"
#include "platform/window.h"

class QDialog;

// The main window's client area: blits the back buffer; a due paint runs the
// window procedure's message 15 first.
class ClientWidget : public QWidget {
public:
    ClientWidget(PlatformWindow* owner, QWidget* parent);
    QSize sizeHint() const override;
    QSize intendedSize{240, 268};
    // Where a paint of this widget goes now (inside a paint event: the window's
    // backing store or, say, a grab's pixmap); nullptr outside paint events.
    QPaintDevice* PaintDevice() const { return redirected(nullptr); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    PlatformWindow* owner_;
};

// The main window's frame: a close request from the user becomes message 16.
class MainFrame : public QWidget {
public:
    explicit MainFrame(PlatformWindow* owner);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    PlatformWindow* owner_;
};

// A window handle: the main window, a modal dialog, a control's host, the menu
// bar, or another running instance reached through its local socket.
struct PlatformWindow {
    enum Kind { MainWindow, Dialog, MenuBar, OtherInstance } kind = MainWindow;
    QPointer<QWidget> widget;        // the top-level widget (frame or dialog)
    ClientWidget* client = nullptr;  // main window: the painted client area
    WindowProc procedure = nullptr;
    InstanceHandle instance = nullptr;
    int32_t templateId = 0;          // dialogs: the template they were built from
    std::map<uint32_t, QPointer<QTimer>> timers;  // null once their widget is gone
    bool destroyed = false;
    // Paint state of the main window.
    QImage backBuffer;               // Format_RGB32, the client area's pixels
    bool invalid = false;            // a paint is due
    bool eraseDue = false;           // fill white before the next paint
    bool erasedThisPaint = false;
    bool inPaintEvent = false;       // the client's paint event runs (it shows what is drawn)
    bool whitePending = false;       // erased, but not filled yet: the first drawing fills
                                     // white only what a transfer does not cover
    bool pictureInStore = false;     // the last picture went straight into Qt's backing
                                     // store; the back buffer is behind it
    qint64 storeKey = 0;             // the store image's cache key just after that paint
    // Dialogs.
    intptr_t endCode = 0;
    bool ended = false;
    bool notifying = true;           // control messages switch this off while they run
    std::string serverName;          // OtherInstance: the local socket to talk to
    QWidget* menuBar = nullptr;      // main window: the bar at its foot
};

// True while the handle names a window that has not been destroyed.
bool IsLiveWindow(WindowHandle window);
void RegisterWindow(WindowHandle window);
void UnregisterWindow(WindowHandle window);

// Paint cycle of a main window: erase when due, send message 15, write the
// screenshot. Called from the client's paint event and from UpdateWindowNow.
void RunPaintCycle(WindowHandle window);
// A due paint with its erase, run straight into Qt's backing store from the
// client's paint event, where the event would otherwise copy the back buffer.
// False when not done (the caller paints through the back buffer).
bool PaintIntoBackingStore(ClientWidget* client, WindowHandle window);
// True while the picture drawn straight into the backing store is still there
// (nothing has written the store's image since), with that image and the client's
// origin in it.
bool PictureStillInStore(WindowHandle window, const QImage** image, QPoint* at);
// Brings the back buffer level with the picture shown when that went straight
// into the backing store (copied back while it is still there, else drawn anew);
// called before the back buffer is read.
void CatchUpBackBuffer(WindowHandle window);
// Modal loops (message boxes, dialogs) run around these calls. While one runs,
// a destroyed main window is hidden and its widgets are freed only once the
// last loop has returned: a loop never runs over freed widgets.
void EnterModalLoop();
void LeaveModalLoop();

// Sizes the main window's frame so that its client area gets width x height.
void ApplyClientSize(WindowHandle window, int width, int height);

// Stops and releases every timer of the window.
void StopAllTimers(WindowHandle window);

// Program-wide options (set by PlatformMain).
double TimeScale();
void CountMainWindowTick(WindowHandle window, uint32_t timerId);

// Text conversions.
QString QStringOfText(const char16_t* text);
QString QStringOfText(const char16_t* text, int32_t length);

// Colour 0x00BBGGRR.
inline QColor QColorOfRef(uint32_t c)
{
    return QColor(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF), static_cast<int>((c >> 16) & 0xFF));
}

struct MappedBitmap;  // a BMP file mapped into memory, read where it is drawn (qt_bitmap_file.h)
struct BitmapFile;    // the file a bitmap was loaded from, as it was then

// Graphic objects: pens, fonts and bitmaps, and the icons. A bitmap holds either
// decoded pixels (image) or a mapped BMP file read in place (mapped).
struct PlatformObject {
    enum Type { Pen, Font, Bitmap } type = Pen;
    QPen pen;
    bool nullPen = false;
    QFont font;
    QImage image;                    // bitmaps decoded whole: Format_RGB32
    std::shared_ptr<const MappedBitmap> mapped;  // bitmaps read in place
    std::shared_ptr<BitmapFile> file;            // bitmaps loaded from a file
    bool stock = false;
    int selectedCount = 0;           // surfaces it is selected into
};

// Bitmap objects of either kind (qt_bitmap.cpp). Size in pixels; false when empty.
bool BitmapDimensions(const PlatformObject* bitmap, int32_t* width, int32_t* height);
// Before a bitmap loaded from a file is drawn: a file replaced or rewritten whole
// since is loaded anew into the same object (emptied, the reason said under
// --verbose, when it is refused); a file removed or cut short is left as it is.
void RefreshBitmap(PlatformObject* bitmap);
// Rows [*firstRow, *endRow) of a bitmap that can be read now: all of them, but for
// a mapped file cut short since, only those still inside it. False when empty.
bool BitmapReadableRows(const PlatformObject* bitmap, int32_t* firstRow, int32_t* endRow);
// count pixels of row y from column x as 0xFFRRGGBB; the span lies inside the
// bitmap, whose image (if any) is Format_RGB32. Points into the bitmap's own
// pixels or into scratch (count values).
const uint32_t* BitmapRow(const PlatformObject* bitmap, int32_t x, int32_t y, int32_t count, uint32_t* scratch);
// Announces that count pixels from column x of rows y .. y + rows - 1 are about
// to be read (the first transfer of a mapped file has them read all at once).
void PrepareBitmapRows(const PlatformObject* bitmap, int32_t x, int32_t y, int32_t count, int32_t rows);
// destination[i] &= pixel x + i of row y, for i below count: the AND transfer of
// one row, without an intermediate copy.
void AndBitmapRow(const PlatformObject* bitmap, int32_t x, int32_t y, int32_t count, uint32_t* destination);
// out[i] = pixel columns[i] of row y as 0xFFRRGGBB, for i below count; every
// column lies inside the bitmap. Reads only those pixels (a reduction's samples).
void GatherBitmapRow(const PlatformObject* bitmap, int32_t y, const int32_t* columns, int32_t count, uint32_t* out);
// Decodes a bitmap read in place into image, so that it can be drawn into; false
// above the pixel cap of images decoded whole.
bool DecodeBitmapWhole(PlatformObject* bitmap);

struct PlatformIcon {
    QImage image;                    // Format_ARGB32_Premultiplied
};

// A drawing surface: the client area of a window between BeginPaint and EndPaint,
// or a memory surface drawing into its selected bitmap.
struct PlatformSurface {
    bool memory = false;
    WindowHandle window = nullptr;   // paint surfaces
    PlatformObject* pen = nullptr;
    PlatformObject* font = nullptr;
    PlatformObject* bitmap = nullptr;
    uint32_t textColour = 0x000000;
    QImage* Target();                // the pixels drawn on (nullptr if none)
};

// The erase of a paint surface still due, done now: white everywhere but the
// rectangle [left, right) x [top, bottom), which the caller then covers whole
// (an AND transfer over white copies). False when no erase is due (nothing done).
bool EraseAround(SurfaceHandle surface, int64_t left, int64_t top, int64_t right, int64_t bottom);
// An erase still due, done now on the whole client area.
void FinishErase(WindowHandle window);

// Kept drawings (qt_sprites.cpp). A line of text on its opaque white band at (x, y),
// clipped to clip; an ellipse outlined with pen and filled white in the box of
// width x height at (left, top). False when that drawing cannot be kept (it is
// then drawn as usual by the caller).
bool DrawKeptTextLine(QImage* target, const QFont& font, uint32_t colour, const QString& line, int x, int y,
                      int width, int lineHeight, int ascent, const QRect& clip);
// What tells the fonts made here apart, without QFont::key()'s long text built on
// every call: family, pixel size, point size and the four style switches.
using FontId = std::tuple<QString, int, double, int>;
FontId FontIdOf(const QFont& font);
// A font's line height, ascent and the advance of texts in it, measured once and
// kept (the same few texts are measured on every paint).
class KeptMetrics {
public:
    explicit KeptMetrics(const QFont& font);
    int height() const { return height_; }
    int ascent() const { return ascent_; }
    int horizontalAdvance(const QString& text) const;

private:
    QFont font_;
    FontId key_;
    int height_ = 0, ascent_ = 0;
};
bool DrawKeptEllipse(QImage* target, const QPen& pen, int64_t left, int64_t top, int64_t width, int64_t height);

// d[i] = d[i] rop s[i] for i below count, for the raster operations the transfers
// take (kRopSourceAnd, copy, paint, invert, blackness, whiteness); pixels 0xFFRRGGBB.
void CombineRow(uint32_t rop, const uint32_t* s, uint32_t* d, int64_t count);

// Stock objects every new surface starts with.
PlatformObject* StockPen();
PlatformObject* StockFont();
PlatformObject* StockBitmap();

// The family used when a font names no face or a face that does not exist.
QString DefaultFontFamily();
