// The client's paint straight into Qt's backing store: a due paint cycle with its
// erase draws into the window's own pixels there, so that the paint event copies
// nothing; the back buffer catches up from the store only when it is read, and a
// picture the store has lost since is painted anew.
#include <QBackingStore>
#include <QPainter>
#include <QWidget>

#include <cstring>
#include <utility>

#include "platform/qt/qt_internal.h"

namespace {

// The backing store's image under client when it can be drawn into directly and
// holds the client's rectangle at *at; nullptr otherwise.
QImage* StoreImage(ClientWidget* client, QPoint* at)
{
    QBackingStore* store = client != nullptr ? client->backingStore() : nullptr;
    if (store == nullptr) return nullptr;
    QPaintDevice* now = client->PaintDevice();
    if (now != nullptr && now != store->paintDevice()) return nullptr;  // painting elsewhere, a grab
    auto* image = dynamic_cast<QImage*>(store->paintDevice());
    if (image == nullptr || image->isNull() || !image->isDetached() || image->devicePixelRatio() != 1.0) return nullptr;
    if (image->format() != QImage::Format_RGB32 && image->format() != QImage::Format_ARGB32_Premultiplied) return nullptr;
    *at = client->mapTo(client->window(), QPoint(0, 0));
    if (!image->rect().contains(QRect(*at, client->size()))) return nullptr;
    return image;
}

}  // namespace

bool PaintIntoBackingStore(ClientWidget* client, WindowHandle window)
{
    if (!IsLiveWindow(window) || !window->eraseDue || client->size() != window->backBuffer.size()) return false;
    QPoint at;
    QImage* image = StoreImage(client, &at);
    if (image == nullptr) return false;
    // Opaque 32-bit pixels: the same bytes whether the store reads them premultiplied or not.
    QImage view(image->bits() + at.y() * image->bytesPerLine() + at.x() * 4, client->width(), client->height(),
                image->bytesPerLine(), QImage::Format_RGB32);
    QImage kept = std::move(window->backBuffer);
    window->backBuffer = view;
    window->inPaintEvent = true;
    RunPaintCycle(window);
    window->inPaintEvent = false;
    window->backBuffer = std::move(kept);
    window->pictureInStore = true;
    window->storeBits = image->constBits(), window->storeLine = image->bytesPerLine();
    window->storeSize = image->size(), window->storeAt = at;
    return true;
}

void SyncBackBuffer(WindowHandle window)
{
    if (!IsLiveWindow(window) || !window->pictureInStore) return;
    window->pictureInStore = false;
    QPoint at;
    const QImage* image = StoreImage(window->client, &at);
    QImage& b = window->backBuffer;
    if (image != nullptr && image->constBits() == window->storeBits && image->bytesPerLine() == window->storeLine &&
        image->size() == window->storeSize && at == window->storeAt && window->client->size() == b.size()) {
        for (int y = 0; y < b.height(); ++y)
            std::memcpy(b.scanLine(y), image->constScanLine(at.y() + y) + at.x() * 4, size_t(b.width()) * 4);
        return;
    }
    window->invalid = true;  // the store was made anew since: the picture is drawn again
    window->eraseDue = true;
}
