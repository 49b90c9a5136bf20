// Text file decoding: UTF-16 (little- or big-endian, told by its byte-order mark),
// else UTF-8 with every byte that is not valid UTF-8 taken as Windows-1252; CRLF
// becomes LF as in a text-mode stream. Pure: no state, safe on any thread.
#include <cstdint>
#include <string>

#include "platform/files.h"

namespace {

// Windows-1252 bytes 0x80..0x9F; the rest of the upper half is Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD, 0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178,
};

// UTF-16 code units after the byte-order mark, as they are (a lone surrogate is
// kept: the reader only looks for ASCII brackets); an odd last byte is dropped.
std::u16string DecodeUtf16(const std::string& bytes, bool bigEndian)
{
    std::u16string out;
    out.reserve(bytes.size() / 2);
    for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const auto b0 = static_cast<unsigned char>(bytes[i]);
        const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
        const char16_t unit = bigEndian ? static_cast<char16_t>(b0 << 8 | b1) : static_cast<char16_t>(b1 << 8 | b0);
        if (unit == u'\n' && !out.empty() && out.back() == u'\r') out.pop_back();
        out.push_back(unit);
    }
    return out;
}

}  // namespace

int TextBytesAreUtf16(const std::string& bytes)
{
    if (bytes.size() < 2) return 0;
    const auto b0 = static_cast<unsigned char>(bytes[0]);
    const auto b1 = static_cast<unsigned char>(bytes[1]);
    // FF FE 00 00 is UTF-32's mark, which this reader does not take.
    if (b0 == 0xFF && b1 == 0xFE) return bytes.size() >= 4 && bytes[2] == 0 && bytes[3] == 0 ? 0 : 1;
    return b0 == 0xFE && b1 == 0xFF ? 1 : 0;
}

std::u16string DecodeTextBytes(const std::string& bytes)
{
    if (TextBytesAreUtf16(bytes)) return DecodeUtf16(bytes, static_cast<unsigned char>(bytes[0]) == 0xFE);
    std::u16string out;
    out.reserve(bytes.size());
    const size_t n = bytes.size();
    auto byteAt = [&](size_t k) { return static_cast<unsigned char>(bytes[k]); };
    auto cont = [&](size_t k) { return k < n && (byteAt(k) & 0xC0) == 0x80; };
    size_t i = 0;
    while (i < n) {
        unsigned char c = byteAt(i);
        uint32_t cp = 0;
        size_t len = 0;
        if (c < 0x80) {
            if (c == '\r' && i + 1 < n && bytes[i + 1] == '\n') {
                ++i;
                continue;
            }
            cp = c;
            len = 1;
        } else if (c >= 0xC2 && c <= 0xDF && cont(i + 1)) {
            cp = ((c & 0x1F) << 6) | (byteAt(i + 1) & 0x3F);
            len = 2;
        } else if ((c & 0xF0) == 0xE0 && cont(i + 1) && cont(i + 2)) {
            cp = ((c & 0x0F) << 12) | ((byteAt(i + 1) & 0x3F) << 6) | (byteAt(i + 2) & 0x3F);
            // Overlong forms and surrogates are not valid UTF-8.
            if (cp >= 0x800 && !(cp >= 0xD800 && cp <= 0xDFFF)) len = 3;
        } else if (c >= 0xF0 && c <= 0xF4 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
            cp = ((c & 0x07) << 18) | ((byteAt(i + 1) & 0x3F) << 12) | ((byteAt(i + 2) & 0x3F) << 6) |
                 (byteAt(i + 3) & 0x3F);
            if (cp >= 0x10000 && cp <= 0x10FFFF) len = 4;
        }
        if (len == 0) {
            out.push_back(c >= 0x80 && c <= 0x9F ? kCp1252High[c - 0x80] : static_cast<char16_t>(c));
            i += 1;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += len;
    }
    return out;
}

