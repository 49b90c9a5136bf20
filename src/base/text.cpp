#include "base/text.h"

#include <charconv>
#include <cstdarg>
#include <cstring>
#include <algorithm>
#include <limits>

size_t TextLength(const char16_t* text)
{
    size_t n = 0;
    while (text[n] != 0) ++n;
    return n;
}

size_t CopyText(char16_t* dst, size_t cap, const char16_t* src)
{
    if (cap == 0) return 0;
    size_t n = 0;
    while (n + 1 < cap && src[n] != 0) {
        dst[n] = src[n];
        ++n;
    }
    dst[n] = 0;
    return n;
}

size_t CopyAsciiText(char16_t* dst, size_t cap, const char* src)
{
    if (cap == 0) return 0;
    size_t n = 0;
    while (n + 1 < cap && src[n] != 0) {
        dst[n] = static_cast<unsigned char>(src[n]);
        ++n;
    }
    dst[n] = 0;
    return n;
}

size_t AppendText(char16_t* dst, size_t cap, const char16_t* src)
{
    if (cap == 0) return 0;
    size_t n = TextLength(dst);
    if (n >= cap) n = cap - 1;
    return n + CopyText(dst + n, cap - n, src);
}

size_t AppendAsciiText(char16_t* dst, size_t cap, const char* src)
{
    if (cap == 0) return 0;
    size_t n = TextLength(dst);
    if (n >= cap) n = cap - 1;
    return n + CopyAsciiText(dst + n, cap - n, src);
}

namespace {

// Appends one code unit if there is room; returns the new length.
inline size_t PutUnit(char16_t* dst, size_t cap, size_t n, char16_t c)
{
    if (n + 1 < cap) {
        dst[n++] = c;
        dst[n] = 0;
    }
    return n;
}

size_t PutAscii(char16_t* dst, size_t cap, size_t n, const char* first, const char* last)
{
    for (const char* p = first; p != last; ++p) n = PutUnit(dst, cap, n, static_cast<unsigned char>(*p));
    return n;
}

// "%f" prints up to 309 integer digits plus the decimals.
constexpr size_t kNumberRoom = 400;

}  // namespace

size_t FormatText(char16_t* dst, size_t cap, const char* format, ...)
{
    if (cap == 0) return 0;
    dst[0] = 0;
    size_t n = 0;
    va_list args;
    va_start(args, format);
    for (const char* f = format; *f != 0; ++f) {
        if (*f != '%') {
            // The format strings are UTF-8 ("%c%f°"): decode them unit by unit.
            unsigned char c = static_cast<unsigned char>(*f);
            if (c < 0x80) {
                n = PutUnit(dst, cap, n, c);
            } else if ((c & 0xE0) == 0xC0 && (f[1] & 0xC0) == 0x80) {
                n = PutUnit(dst, cap, n, static_cast<char16_t>(((c & 0x1F) << 6) | (f[1] & 0x3F)));
                ++f;
            } else if ((c & 0xF0) == 0xE0 && (f[1] & 0xC0) == 0x80 && (f[2] & 0xC0) == 0x80) {
                n = PutUnit(dst, cap, n, static_cast<char16_t>(((c & 0x0F) << 12) | ((f[1] & 0x3F) << 6) | (f[2] & 0x3F)));
                f += 2;
            } else {
                n = PutUnit(dst, cap, n, c);
            }
            continue;
        }
        ++f;
        int precision = 6;
        if (*f == '.') {
            precision = 0;
            ++f;
            while (*f >= '0' && *f <= '9') precision = precision * 10 + (*f++ - '0');
            if (precision > 30) precision = 30;
        }
        char number[kNumberRoom];
        switch (*f) {
        case 'd': {
            int v = va_arg(args, int);
            auto r = std::to_chars(number, number + sizeof number, v);
            n = PutAscii(dst, cap, n, number, r.ptr);
            break;
        }
        case 'f': {
            double v = va_arg(args, double);
            auto r = std::to_chars(number, number + sizeof number, v, std::chars_format::fixed, precision);
            if (r.ec == std::errc()) n = PutAscii(dst, cap, n, number, r.ptr);
            break;
        }
        case 's': {
            const char16_t* s = va_arg(args, const char16_t*);
            for (size_t i = 0; s != nullptr && s[i] != 0; ++i) n = PutUnit(dst, cap, n, s[i]);
            break;
        }
        case 'c':
            n = PutUnit(dst, cap, n, static_cast<char16_t>(va_arg(args, int)));
            break;
        case '%':
            n = PutUnit(dst, cap, n, u'%');
            break;
        case 0:
            --f;  // a lone '%' at the end: stop at the terminator
            break;
        default:
            n = PutUnit(dst, cap, n, u'%');
            n = PutUnit(dst, cap, n, static_cast<unsigned char>(*f));
            break;
        }
    }
    va_end(args);
    return n;
}

namespace {

inline bool IsSpace(char16_t c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\v' || c == u'\f';
}

inline bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

// The common short form, digits [. digits] with no exponent, read in place: at most
// 19 digits whose whole value w is at most 2^53, with at most 22 after the point, so
// that w and 10^f are exact doubles and the one division w / 10^f is correctly
// rounded, the very double from_chars gives. 0 when the text has another form.
int ShortDecimal(const char16_t* p, double* value)
{
    uint64_t whole = 0;
    int digits = 0;
    int fraction = 0;
    for (; IsDigit(*p); ++p, ++digits) whole = whole * 10 + static_cast<uint64_t>(*p - u'0');
    if (digits == 0 || digits > 19) return 0;
    if (*p == u'.') {
        for (++p; IsDigit(*p); ++p, ++fraction) whole = whole * 10 + static_cast<uint64_t>(*p - u'0');
        if (digits + fraction > 19) return 0;
    }
    if (*p == u'e' || *p == u'E' || whole > (uint64_t{1} << 53) || fraction > 22) return 0;
    *value = static_cast<double>(whole) / kExactPowersOfTen[fraction];
    return 1;
}

}  // namespace

double TextToDouble(const char16_t* text)
{
    size_t i = 0;
    while (IsSpace(text[i])) ++i;
    {
        const bool negative = text[i] == u'-';
        double value = 0.0;
        if (ShortDecimal(text + i + ((text[i] == u'+' || negative) ? 1 : 0), &value)) return negative ? -value : value;
    }
    // Collect the longest prefix of the form [sign] digits [. digits] [e [sign] digits].
    // A number has at most a few hundred meaningful characters; longer digit runs
    // are kept whole so that the value stays exact, in a growing buffer.
    std::string number;
    bool negative = false;
    if (text[i] == u'+' || text[i] == u'-') {
        negative = text[i] == u'-';
        ++i;
    }
    size_t mantissaDigits = 0;
    while (IsDigit(text[i])) {
        number.push_back(static_cast<char>(text[i++]));
        ++mantissaDigits;
    }
    if (text[i] == u'.') {
        size_t save = number.size();
        number.push_back('.');
        size_t j = i + 1;
        size_t fraction = 0;
        while (IsDigit(text[j])) {
            number.push_back(static_cast<char>(text[j++]));
            ++fraction;
        }
        if (fraction == 0 && mantissaDigits == 0) number.resize(save);
        else i = j;
        mantissaDigits += fraction;
    }
    if (mantissaDigits == 0) return 0.0;
    if (text[i] == u'e' || text[i] == u'E') {
        size_t j = i + 1;
        std::string exponent = "e";
        if (text[j] == u'+' || text[j] == u'-') exponent.push_back(static_cast<char>(text[j++]));
        size_t expDigits = 0;
        while (IsDigit(text[j])) {
            exponent.push_back(static_cast<char>(text[j++]));
            ++expDigits;
        }
        if (expDigits > 0) number += exponent;
    }
    double value = 0.0;
    auto r = std::from_chars(number.data(), number.data() + number.size(), value);
    if (r.ec == std::errc::result_out_of_range) {
        // from_chars leaves the value alone on overflow or underflow; strtod gives
        // HUGE_VAL or a (signed) zero there, and so do we. Which of the two it is
        // follows from the decimal exponent of the first significant digit:
        // "0.000...1" underflows without any exponent, "1e-400" with one.
        int64_t magnitude = 0;
        size_t d = 0;
        while (d < number.size() && (number[d] == '0' || number[d] == '.')) ++d;
        const size_t point = number.find('.');
        const size_t mantissaEnd = std::min(number.find('e'), number.size());
        const size_t integerEnd = std::min(point, mantissaEnd);
        if (d < integerEnd) magnitude = static_cast<int64_t>(integerEnd - d);         // digits before the point
        else magnitude = -static_cast<int64_t>(d - integerEnd) + (d > integerEnd ? 1 : 0);  // zeros after it
        const size_t e = number.find('e');
        if (e != std::string::npos) {
            int64_t exponent = 0;
            bool negativeExponent = false;
            size_t j = e + 1;
            if (j < number.size() && (number[j] == '+' || number[j] == '-')) negativeExponent = number[j++] == '-';
            for (; j < number.size(); ++j)
                if (exponent < 1000000000) exponent = exponent * 10 + (number[j] - '0');
            magnitude += negativeExponent ? -exponent : exponent;
        }
        value = magnitude <= 0 ? 0.0 : std::numeric_limits<double>::infinity();
    }
    return negative ? -value : value;
}

int32_t TextToInt(const char16_t* text)
{
    size_t i = 0;
    while (IsSpace(text[i])) ++i;
    bool negative = false;
    if (text[i] == u'+' || text[i] == u'-') {
        negative = text[i] == u'-';
        ++i;
    }
    int64_t value = 0;
    while (IsDigit(text[i])) {
        if (value < 4294967296LL) value = value * 10 + (text[i] - u'0');
        ++i;
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

std::string TextToUtf8(const char16_t* text)
{
    std::string out;
    for (size_t i = 0; text[i] != 0; ++i) {
        uint32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::u16string Utf8ToText(const std::string& utf8)
{
    std::u16string out;
    size_t i = 0;
    const size_t n = utf8.size();
    auto cont = [&](size_t k) { return k < n && (static_cast<unsigned char>(utf8[k]) & 0xC0) == 0x80; };
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        uint32_t cp;
        if (c < 0x80) {
            cp = c;
            i += 1;
        } else if ((c & 0xE0) == 0xC0 && c >= 0xC2 && cont(i + 1)) {
            cp = ((c & 0x1F) << 6) | (utf8[i + 1] & 0x3F);
            i += 2;
        } else if ((c & 0xF0) == 0xE0 && cont(i + 1) && cont(i + 2)) {
            cp = ((c & 0x0F) << 12) | ((utf8[i + 1] & 0x3F) << 6) | (utf8[i + 2] & 0x3F);
            i += 3;
        } else if ((c & 0xF8) == 0xF0 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
            cp = ((c & 0x07) << 18) | ((utf8[i + 1] & 0x3F) << 12) | ((utf8[i + 2] & 0x3F) << 6) | (utf8[i + 3] & 0x3F);
            i += 4;
        } else {
            cp = 0xFFFD;
            i += 1;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
    }
    return out;
}

std::string DoubleToRoundTripText(double value)
{
    // Plain notation ("500000", "0.001") while it stays short, otherwise the
    // shortest form with an exponent ("1e-300"); both read back to the same bits.
    char buffer[400];
    auto fixed = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (fixed.ec == std::errc() && fixed.ptr - buffer <= 24) return std::string(buffer, fixed.ptr);
    auto shortest = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, shortest.ptr);
}
