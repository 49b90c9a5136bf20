// The client's paint straight into Qt's backing store. A due paint with its erase
// draws the whole picture, so it can draw into the window's own pixels in the
// store and leave the paint event nothing to copy. The back buffer is then behind
// the picture shown. While the store's image keeps the cache key it had after
// that paint, nothing has written it since (Qt's own painting and a store made
// anew both change the key), so the picture is still there: a paint event that is
// not due leaves it as it is, and a reader of the back buffer copies it back.
// Once the key has changed, the picture is drawn anew.
#include <QBackingStore>
#include <QPainter>
#include <QWidget>

#include <cstring>
#include <utility>

#include "platform/qt/qt_internal.h"

namespace {

// The backing store's image under the client when it is a plain 32-bit image at
// one pixel per pixel holding the client's rectangle, with the client's origin in
// *at; nullptr otherwise.
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
    QPoint still;
    const QImage* now = StoreImage(client, &still);
    if (now == image && still == at) {
        window->pictureInStore = true;
        window->storeKey = now->cacheKey();
    } else {  // the store changed under the paint: the back buffer is behind, so it is drawn anew
        window->invalid = window->eraseDue = true;
        client->update();
    }
    return true;
}

bool PictureStillInStore(WindowHandle window, const QImage** image, QPoint* at)
{
    if (!IsLiveWindow(window) || !window->pictureInStore || window->client == nullptr) return false;
    const QImage* now = StoreImage(window->client, at);
    if (now == nullptr || now->cacheKey() != window->storeKey || window->client->size() != window->backBuffer.size())
        return false;
    *image = now;
    return true;
}

void CatchUpBackBuffer(WindowHandle window)
{
    if (!IsLiveWindow(window) || !window->pictureInStore) return;
    const QImage* image = nullptr;
    QPoint at;
    const bool held = PictureStillInStore(window, &image, &at);
    window->pictureInStore = false;
    if (held) {
        QImage& b = window->backBuffer;
        for (int y = 0; y < b.height(); ++y)
            std::memcpy(b.scanLine(y), image->constScanLine(at.y() + y) + at.x() * 4, size_t(b.width()) * 4);
        return;
    }
    window->invalid = window->eraseDue = true;  // gone with Qt's store: the picture is drawn anew
    RunPaintCycle(window);
}
