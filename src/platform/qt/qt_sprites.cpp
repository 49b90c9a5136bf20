// Texts and circles kept between paints: a line of text on its white band, or an
// outlined circle, is drawn once into a small image and copied afterwards while
// it is unchanged. Only what copies exactly is kept: a text whose glyphs reach out
// of its band, or a shape with partly covered pixels, is drawn anew every time.
#include <QPainter>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <tuple>
#include <utility>

#include "platform/qt/qt_internal.h"

namespace {

constexpr size_t kMostSprites = 64;  // each kind; all dropped when full

// A drawing kept: its pixels, where they were painted (alpha 255) or left (0).
struct Sprite {
    QImage pixels;   // Format_ARGB32, alpha: painted or not
    bool usable = false;
};

// Draws through paint onto two copies, one black and one white beneath: a pixel
// both copies hold alike was painted opaquely; one left as its copy's background
// was not painted; anything else (a partly covered pixel) makes the sprite unusable.
template <class Paint>
Sprite Capture(QSize size, Paint&& paint)
{
    Sprite sprite;
    QImage onBlack(size, QImage::Format_RGB32), onWhite(size, QImage::Format_RGB32);
    onBlack.fill(Qt::black), onWhite.fill(Qt::white);
    paint(&onBlack), paint(&onWhite);
    sprite.pixels = QImage(size, QImage::Format_ARGB32);
    for (int y = 0; y < size.height(); ++y) {
        const auto* b = reinterpret_cast<const uint32_t*>(onBlack.constScanLine(y));
        const auto* w = reinterpret_cast<const uint32_t*>(onWhite.constScanLine(y));
        auto* out = reinterpret_cast<uint32_t*>(sprite.pixels.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const uint32_t black = b[x] & 0xFFFFFF, white = w[x] & 0xFFFFFF;
            if (black == white)
                out[x] = 0xFF000000u | black;
            else if (black == 0 && white == 0xFFFFFF)
                out[x] = 0;
            else
                return sprite;
        }
    }
    sprite.usable = true;
    return sprite;
}

// Copies the painted pixels of sprite with its top-left at (x, y), inside clip.
void Stamp(const Sprite& sprite, QImage* target, int64_t x, int64_t y, QRect clip)
{
    clip &= target->rect();
    const int64_t left = std::max<int64_t>(x, clip.left()), right = std::min<int64_t>(x + sprite.pixels.width(), clip.right() + 1);
    const int64_t top = std::max<int64_t>(y, clip.top()), bottom = std::min<int64_t>(y + sprite.pixels.height(), clip.bottom() + 1);
    if (left >= right || top >= bottom) return;
    uchar* const pixels = target->bits();
    const qsizetype stride = target->bytesPerLine();
    for (int64_t row = top; row < bottom; ++row) {
        const auto* s = reinterpret_cast<const uint32_t*>(sprite.pixels.constScanLine(static_cast<int>(row - y))) - x;
        auto* d = reinterpret_cast<uint32_t*>(pixels + row * stride);
        for (int64_t i = left; i < right; ++i) d[i] = (s[i] >> 24) != 0 ? s[i] : d[i];  // a select: vectorised
    }
}

template <class Key>
Sprite& Kept(std::map<Key, Sprite>& kept, const Key& key, bool* fresh)
{
    auto found = kept.find(key);
    *fresh = found == kept.end();
    if (!*fresh) return found->second;
    if (kept.size() >= kMostSprites) kept.clear();
    return kept[key];
}

}  // namespace

namespace {

std::map<FontId, std::pair<int, int>>& FontHeights()  // height, ascent
{
    static std::map<FontId, std::pair<int, int>> heights;
    return heights;
}

}  // namespace

FontId FontIdOf(const QFont& font)
{
    return {font.family(), font.pixelSize(), font.pointSizeF(),
            int(font.bold()) | int(font.italic()) << 1 | int(font.underline()) << 2 | int(font.strikeOut()) << 3};
}

KeptMetrics::KeptMetrics(const QFont& font) : font_(font), key_(FontIdOf(font))
{
    auto& heights = FontHeights();
    auto found = heights.find(key_);
    if (found == heights.end()) {
        if (heights.size() >= kMostSprites) heights.clear();
        const QFontMetrics metrics(font);
        found = heights.emplace(key_, std::make_pair(metrics.height(), metrics.ascent())).first;
    }
    height_ = found->second.first, ascent_ = found->second.second;
}

int KeptMetrics::horizontalAdvance(const QString& text) const
{
    static std::map<std::pair<FontId, QString>, int> advances;
    const std::pair<FontId, QString> key{key_, text};
    if (auto found = advances.find(key); found != advances.end()) return found->second;
    if (advances.size() >= 4 * kMostSprites) advances.clear();
    return advances[key] = QFontMetrics(font_).horizontalAdvance(text);
}

bool DrawKeptTextLine(QImage* target, const QFont& font, uint32_t colour, const QString& line, int x, int y,
                      int width, int lineHeight, int ascent, const QRect& clip)
{
    using Key = std::tuple<QString, FontId, uint32_t>;
    static std::map<Key, Sprite> kept;
    bool fresh = false;
    Sprite& sprite = Kept(kept, Key{line, FontIdOf(font), colour}, &fresh);
    if (fresh) {
        // A margin of a line's height on every side shows glyphs that leave the band.
        const int margin = lineHeight;
        sprite = Capture(QSize(width + 2 * margin, lineHeight + 2 * margin), [&](QImage* image) {
            QPainter p(image);
            p.setFont(font);
            p.setPen(QColorOfRef(colour));
            p.fillRect(QRect(margin, margin, width, lineHeight), Qt::white);
            p.drawText(QPoint(margin, margin + ascent), line);
        });
        if (sprite.usable) {
            for (int row = 0; row < sprite.pixels.height() && sprite.usable; ++row)
                for (int col = 0; col < sprite.pixels.width(); ++col) {
                    const bool inBand = row >= margin && row < margin + lineHeight && col >= margin && col < margin + width;
                    if (!inBand && sprite.pixels.pixel(col, row) >> 24) {
                        sprite.usable = false;
                        break;
                    }
                }
            if (sprite.usable) sprite.pixels = sprite.pixels.copy(margin, margin, width, lineHeight);
        }
    }
    if (!sprite.usable) return false;
    Stamp(sprite, target, x, y, clip);
    return true;
}

bool DrawKeptEllipse(QImage* target, const QPen& pen, int64_t left, int64_t top, int64_t width, int64_t height)
{
    if (width > 256 || height > 256) return false;
    using Key = std::tuple<int64_t, int64_t, int, double, uint32_t, int, int>;
    static std::map<Key, Sprite> kept;
    const int margin = 2 + static_cast<int>(pen.widthF());
    bool fresh = false;
    Sprite& sprite = Kept(kept, Key{width, height, int(pen.style()), pen.widthF(), pen.color().rgb(), int(pen.capStyle()),
                                    int(pen.joinStyle())}, &fresh);
    if (fresh)
        sprite = Capture(QSize(int(width) + 2 * margin, int(height) + 2 * margin), [&](QImage* image) {
            QPainter p(image);
            p.setPen(pen);
            p.setBrush(Qt::white);
            p.drawEllipse(QRectF(margin, margin, double(width - 1), double(height - 1)));
        });
    if (!sprite.usable) return false;
    Stamp(sprite, target, left - margin, top - margin, target->rect());
    return true;
}
