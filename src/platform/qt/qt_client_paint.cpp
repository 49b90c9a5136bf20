// The client's paint straight into Qt's backing store. A due paint with its erase
// draws the whole picture, so it can draw into the window's own pixels in the
// store and leave the paint event nothing to copy. The back buffer is then behind:
// until the client's next paint event nothing else writes those pixels (Qt remakes
// or overdraws the store only in a paint of the client), so a reader in between
// copies them back; from the next paint event on, the picture is drawn anew
// instead, because the store may no longer hold it.
#include <QBackingStore>
#include <QPainter>
#include <QWidget>

#include <cstring>
#include <utility>

#include "platform/qt/qt_internal.h"

namespace {

// The backing store's image under the client when this paint event goes to it and
// it is a plain 32-bit image at one pixel per pixel holding the client's rectangle,
// with the client's origin in *at; nullptr otherwise.
QImage* StoreImage(ClientWidget* client, QPoint* at)
{
    QBackingStore* store = client != nullptr ? client->backingStore() : nullptr;
    if (store == nullptr) return nullptr;
    auto* image = dynamic_cast<QImage*>(store->paintDevice());
    if (image == nullptr || image->isNull() || image->devicePixelRatio() != 1.0) return nullptr;
    if (image->format() != QImage::Format_RGB32 && image->format() != QImage::Format_ARGB32_Premultiplied) return nullptr;
    *at = client->mapTo(client->window(), QPoint(0, 0));
    if (!image->rect().contains(QRect(*at, client->size()))) return nullptr;
    return image;
}

}  // namespace

bool PaintIntoBackingStore(ClientWidget* client, WindowHandle window)
{
    if (!IsLiveWindow(window) || !window->invalid || !window->eraseDue) return false;
    if (client->size() != window->backBuffer.size() || client->PaintDevice() != client->backingStore()->paintDevice())
        return false;  // painted elsewhere (a grab) or not yet laid out
    QPoint at;
    QImage* image = StoreImage(client, &at);
    if (image == nullptr) return false;
    // Opaque 32-bit pixels: the same bytes whether the store reads them premultiplied or not.
    // The only reference to the store's pixels is the back buffer's, so that drawing
    // does not detach it into a copy of its own.
    QImage kept = std::move(window->backBuffer);
    window->backBuffer = QImage(image->bits() + at.y() * image->bytesPerLine() + at.x() * 4, client->width(),
                                client->height(), image->bytesPerLine(), QImage::Format_RGB32);
    window->pictureInStore = false;
    window->inPaintEvent = true;
    RunPaintCycle(window);
    if (!IsLiveWindow(window)) return true;
    window->inPaintEvent = false;
    window->backBuffer = std::move(kept);
    window->pictureInStore = true;
    return true;
}

void CatchUpBackBuffer(WindowHandle window)
{
    if (!IsLiveWindow(window) || !window->pictureInStore) return;
    window->pictureInStore = false;
    QPoint at;
    const QImage* image = StoreImage(window->client, &at);
    QImage& b = window->backBuffer;
    if (image != nullptr && window->client->size() == b.size()) {
        for (int y = 0; y < b.height(); ++y)
            std::memcpy(b.scanLine(y), image->constScanLine(at.y() + y) + at.x() * 4, size_t(b.width()) * 4);
        return;
    }
    window->invalid = window->eraseDue = true;  // not readable: the picture is drawn anew
    RunPaintCycle(window);
}
