// Reading a BMP file's layout from its header.
#include "platform/bmp_layout.h"

#include <algorithm>
#include <climits>

namespace {

constexpr uint32_t kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitFields = 3;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t U32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

int Shift(uint32_t mask)
{
    int shift = 0;
    while (mask != 0 && (mask & 1) == 0) mask >>= 1, ++shift;
    return shift;
}

}  // namespace

BmpRoute ReadBmpLayout(const uint8_t* f, int64_t size, BmpLayout* m, const char** why)
{
    if (size < 14 + 40) return *why = "shorter than a BMP header", BmpRoute::Refused;
    const uint32_t headerSize = U32(f + 14);
    if (headerSize != 12 && headerSize != 40 && headerSize != 64 && headerSize != 108 && headerSize != 124)
        return *why = "BMP header of a size that is not read", BmpRoute::Refused;
    if (14 + static_cast<int64_t>(headerSize) > size) return *why = "BMP header past the end of the file", BmpRoute::Refused;
    const bool os2 = headerSize == 12;
    const int32_t width = os2 ? static_cast<int16_t>(U16(f + 18)) : static_cast<int32_t>(U32(f + 18));
    const int32_t rawHeight = os2 ? static_cast<int16_t>(U16(f + 20)) : static_cast<int32_t>(U32(f + 22));
    const uint16_t planes = U16(f + (os2 ? 22 : 26));
    const uint16_t bits = U16(f + (os2 ? 24 : 28));
    const uint32_t compression = os2 ? kBiRgb : U32(f + 30);
    const uint32_t coloursUsed = os2 ? 0 : U32(f + 46);

    if (planes != 1) return *why = "BMP with more than one plane", BmpRoute::Refused;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return *why = "BMP of an unknown depth", BmpRoute::Refused;
    if ((compression == kBiRle8 && bits == 8) || (compression == kBiRle4 && bits == 4)) return BmpRoute::DecodeWhole;
    if (compression != kBiRgb && !(compression == kBiBitFields && (bits == 16 || bits == 32)))
        return *why = "BMP compression that is not read", BmpRoute::Refused;
    if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN) return *why = "BMP of no size", BmpRoute::Refused;

    m->width = width;
    m->height = rawHeight < 0 ? -rawHeight : rawHeight;
    m->topDown = rawHeight < 0;
    m->bits = bits;
    int64_t position = 14 + headerSize;  // where the reader stands after the header

    if (bits <= 8) {
        const uint32_t most = 1u << bits;
        const uint32_t count = coloursUsed == 0 ? most : coloursUsed;
        if (count > most) return *why = "BMP palette larger than its depth allows", BmpRoute::Refused;
        const int entry = os2 ? 3 : 4;
        if (position + static_cast<int64_t>(entry) * count > size) return *why = "BMP palette past the end of the file", BmpRoute::Refused;
        // Past the colours given, an index reads black; a 1-bit image of one colour
        // reads white for index 1 (Qt's defaults for such images).
        for (uint32_t i = 0; i < 256; ++i) m->palette[i] = 0xFF000000u;
        if (bits == 1 && count == 1) m->palette[1] = 0xFFFFFFFFu;
        for (uint32_t i = 0; i < count; ++i) {
            const uint8_t* c = f + position + entry * i;
            m->palette[i] = 0xFF000000u | c[2] << 16 | c[1] << 8 | c[0];
        }
        position += static_cast<int64_t>(entry) * count;
    } else if (compression == kBiBitFields) {
        uint32_t masks[4] = {0, 0, 0, 0};
        if (headerSize >= 108) {
            for (int i = 0; i < 4; ++i) masks[i] = U32(f + 54 + 4 * i);
        } else {
            if (position + 12 > size) return *why = "BMP bit masks past the end of the file", BmpRoute::Refused;
            for (int i = 0; i < 3; ++i) masks[i] = U32(f + position + 4 * i);
            position += 12;
        }
        for (int i = 0; i < 4; ++i) {
            if (masks[i] == 0xFFFFFFFFu) return *why = "BMP bit mask of all 32 bits", BmpRoute::Refused;
            m->mask[i] = masks[i];
            m->shift[i] = static_cast<uint32_t>(Shift(masks[i]));
            m->scale[i] = 256 / ((masks[i] >> m->shift[i]) + 1);  // 0 for a channel wider than 8 bits
        }
        m->alpha = masks[3] != 0;
    } else if (bits == 16) {
        // 5 bits a channel, read as the reader does: each value times 8, no rounding.
        const uint32_t mask[4] = {0x7C00, 0x03E0, 0x001F, 0}, shift[4] = {7, 2, 0, 0}, scale[4] = {1, 1, 8, 0};
        std::copy(mask, mask + 4, m->mask), std::copy(shift, shift + 4, m->shift), std::copy(scale, scale + 4, m->scale);
    } else if (bits == 32 && headerSize >= 108 && U32(f + 66) == 0xFF000000u) {
        // Blue, green, red and an alpha byte, which the later headers announce.
        const uint32_t mask[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}, shift[4] = {16, 8, 0, 24};
        std::copy(mask, mask + 4, m->mask), std::copy(shift, shift + 4, m->shift), std::fill(m->scale, m->scale + 4, 1u);
        m->alpha = true;
    } else {
        m->plain = true;
    }

    const uint32_t offBits = U32(f + 10);
    if (offBits < 14 + headerSize || offBits > INT32_MAX) return *why = "BMP pixel offset outside the file", BmpRoute::Refused;
    // An offset inside the palette or the masks is not followed: the rows come after them.
    m->pixelStart = std::max<int64_t>(offBits, position);
    m->stride = (static_cast<int64_t>(width) * bits + 31) / 32 * 4;
    if (m->pixelStart > size || m->stride > (size - m->pixelStart) / m->height)
        return *why = "BMP pixel data past the end of the file", BmpRoute::Refused;
    return BmpRoute::InPlace;
}
