// Drawing on Qt: polylines (cut to the surface, dashes in phase), ellipses, text on
// an opaque white band and icons through their alpha mask, on the surface's pen,
// font and text colour. Colours are 0x00BBGGRR.
#include <QFontMetrics>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "platform/qt/qt_handles.h"
#include "platform/qt/qt_internal.h"

namespace {

constexpr uint32_t kDtCenter = 0x0001;
constexpr uint32_t kDtRight = 0x0002;
constexpr uint32_t kDtVCenter = 0x0004;
constexpr uint32_t kDtBottom = 0x0008;
constexpr uint32_t kDtSingleLine = 0x0020;
constexpr uint32_t kDtNoClip = 0x0100;
constexpr uint32_t kDtCalcRect = 0x0400;

QPen PenOf(const PlatformSurface* s)
{
    const PlatformObject* pen = s->pen != nullptr ? s->pen : StockPen();
    if (pen->nullPen) return QPen(Qt::NoPen);
    return pen->pen;
}

// Clips the segment a + t (b - a), t in [0, 1], to box (Liang-Barsky); false when
// nothing of it is inside.
bool ClipSegment(const QPointF& a, const QPointF& b, const QRectF& box, double* t0, double* t1)
{
    const double dx = b.x() - a.x(), dy = b.y() - a.y();
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x() - box.left(), box.right() - a.x(), a.y() - box.top(), box.bottom() - a.y()};
    *t0 = 0.0;
    *t1 = 1.0;
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0) return false;
            continue;
        }
        const double r = q[i] / p[i];
        if (p[i] < 0.0) {
            if (r > *t1) return false;
            *t0 = std::max(*t0, r);
        } else {
            if (r < *t0) return false;
            *t1 = std::min(*t1, r);
        }
    }
    return *t0 <= *t1;
}

}  // namespace

int Polyline(SurfaceHandle surface, const Point* points, int32_t count)
{
    if (surface == nullptr || points == nullptr || count < 2) return 0;
    QImage* target = surface->Target();
    if (target == nullptr || target->isNull()) return 0;
    const QPen pen = PenOf(surface);
    if (pen.style() == Qt::NoPen) return 1;
    // Each segment is cut to the surface (with room for the pen) before drawing:
    // a point far off-screen, such as a distant target, must neither overflow the
    // rasterizer nor make the dash pattern give up and draw solid. The dashes
    // keep their phase along the whole line through the pen's dash offset.
    const double width = std::max(1.0, pen.widthF());
    const double margin = width + 2.0;
    const QRectF box(-margin, -margin, target->width() + 2 * margin, target->height() + 2 * margin);
    const bool dashed = pen.style() != Qt::SolidLine;
    double patternLength = 0.0;  // in pen widths, as the dash offset is
    if (dashed)
        for (qreal d : pen.dashPattern()) patternLength += d;
    QPainter p(target);
    p.setBrush(Qt::NoBrush);
    p.setPen(pen);
    // A solid pen draws runs of whole segments as one polyline (a long trail is
    // thousands of short segments); a cut segment ends the run.
    QPolygonF run;
    const auto flush = [&] {
        if (run.size() >= 2) p.drawPolyline(run);
        run.clear();
    };
    double walked = 0.0;  // path length before the current segment, pixels
    for (int32_t i = 1; i < count; ++i) {
        const QPointF a(points[i - 1].x, points[i - 1].y), b(points[i].x, points[i].y);
        const double length = std::hypot(b.x() - a.x(), b.y() - a.y());
        double t0 = 0.0, t1 = 1.0;
        const bool shown = length > 0.0 && ClipSegment(a, b, box, &t0, &t1);
        if (!dashed && shown && t0 == 0.0 && t1 == 1.0) {
            if (run.isEmpty()) run << a;
            run << b;
            walked += length;
            continue;
        }
        flush();
        if (shown) {
            if (dashed && patternLength > 0.0) {
                QPen segmentPen = pen;
                segmentPen.setDashOffset(std::fmod((walked + t0 * length) / width, patternLength));
                p.setPen(segmentPen);
            }
            p.drawLine(a + t0 * (b - a), a + t1 * (b - a));
        }
        walked += length;
    }
    flush();
    return 1;
}

int Ellipse(SurfaceHandle surface, int32_t left, int32_t top, int32_t right, int32_t bottom)
{
    if (surface == nullptr) return 0;
    QImage* target = surface->Target();
    if (target == nullptr || target->isNull()) return 0;
    // The box may come with its corners in either order.
    const int64_t l = std::min(left, right), r = std::max(left, right);
    const int64_t t = std::min(top, bottom), b = std::max(top, bottom);
    if (r - l < 2 || b - t < 2) return 1;
    const int64_t margin = 2 + static_cast<int64_t>(PenOf(surface).widthF());
    if (r < -margin || b < -margin || l > target->width() + margin || t > target->height() + margin) return 1;
    if (DrawKeptEllipse(target, PenOf(surface), l, t, r - l, b - t)) return 1;
    QPainter p(target);
    p.setPen(PenOf(surface));
    p.setBrush(Qt::white);
    // The box's right and bottom edges are outside the figure.
    p.drawEllipse(QRectF(static_cast<double>(l), static_cast<double>(t), static_cast<double>(r - l - 1),
                         static_cast<double>(b - t - 1)));
    return 1;
}

int DrawTextInRect(SurfaceHandle surface, const char16_t* text, int32_t length, Rect* rect, uint32_t format)
{
    if (surface == nullptr || text == nullptr || rect == nullptr) return 0;
    const QString all = QStringOfText(text, length);
    const QFont font = (surface->font != nullptr ? surface->font : StockFont())->font;
    const KeptMetrics metrics(font);
    const int lineHeight = metrics.height();
    QStringList lines = (format & kDtSingleLine) ? QStringList{QString(all).replace(QLatin1Char('\n'), QLatin1Char(' '))}
                                                 : all.split(QLatin1Char('\n'));
    int widest = 0;
    for (const QString& line : lines) widest = std::max(widest, metrics.horizontalAdvance(line));
    const int totalHeight = lineHeight * static_cast<int>(lines.size());
    if (format & kDtCalcRect) {
        rect->right = rect->left + widest;
        rect->bottom = rect->top + totalHeight;
        return totalHeight;
    }
    QImage* target = surface->Target();
    if (target == nullptr || target->isNull()) return 0;
    const QRect box(QPoint(rect->left, rect->top), QPoint(rect->right - 1, rect->bottom - 1));
    int y = rect->top;
    if (format & kDtSingleLine) {
        if (format & kDtBottom)
            y = rect->bottom - lineHeight;
        else if (format & kDtVCenter)
            y = rect->top + (rect->bottom - rect->top - lineHeight) / 2;
    }
    const QRect clip = (format & kDtNoClip) ? target->rect() : box;
    QPainter p;
    for (const QString& line : lines) {
        const int w = metrics.horizontalAdvance(line);
        int x = rect->left;
        if (format & kDtCenter)
            x = rect->left + (rect->right - rect->left - w) / 2;
        else if (format & kDtRight)
            x = rect->right - w;
        // Text sits on an opaque white band as tall as the font's cell.
        if (DrawKeptTextLine(target, font, surface->textColour, line, x, y, w, lineHeight, metrics.ascent(), clip)) {
            y += lineHeight;
            continue;
        }
        if (!p.isActive()) {
            p.begin(target);
            if (!(format & kDtNoClip)) p.setClipRect(box);
            p.setFont(font);
            p.setPen(QColorOfRef(surface->textColour));
        }
        p.fillRect(QRect(x, y, w, lineHeight), Qt::white);
        p.drawText(QPoint(x, y + metrics.ascent()), line);
        y += lineHeight;
    }
    return totalHeight;
}

int DrawIconAt(SurfaceHandle surface, int32_t x, int32_t y, IconHandle icon, int32_t width, int32_t height,
               uint32_t step, void* brush, uint32_t flags)
{
    if (surface == nullptr || icon == nullptr || icon->image.isNull()) return 0;
    QImage* target = surface->Target();
    if (target == nullptr || target->isNull()) return 0;
    const int w = width > 0 ? width : icon->image.width();
    const int h = height > 0 ? height : icon->image.height();
    QPainter p(target);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if ((flags & kDiNormal) == kDiNormal) {
        // Through the mask: transparent parts leave what lies beneath.
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        p.drawImage(QRect(x, y, w, h), icon->image);
    } else {
        // The image alone, its transparent parts as black.
        QImage opaque(icon->image.size(), QImage::Format_RGB32);
        opaque.fill(Qt::black);
        QPainter q(&opaque);
        q.drawImage(0, 0, icon->image);
        q.end();
        p.drawImage(QRect(x, y, w, h), opaque);
    }
    return 1;
}
