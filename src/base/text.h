// Wide text: UTF-16 code units (char16_t) in fixed arrays of a stated capacity,
// terminator included. Every writer here cuts overlong input to the capacity and
// always terminates; nothing is written past a buffer. Number conversions are
// locale-independent (a Qt program sets the C library's locale from the user's).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Characters before the terminator.
size_t TextLength(const char16_t* text);

// Copies src into dst (capacity cap, terminator included), cut to fit.
// Returns the number of characters copied.
size_t CopyText(char16_t* dst, size_t cap, const char16_t* src);

// Copies an ASCII/Latin-1 byte string into dst, one code unit per byte, cut to fit.
size_t CopyAsciiText(char16_t* dst, size_t cap, const char* src);

// Appends src to the text already in dst, cut to fit. Returns the new length.
size_t AppendText(char16_t* dst, size_t cap, const char16_t* src);
size_t AppendAsciiText(char16_t* dst, size_t cap, const char* src);

// Formats with the C library's printf rules for numbers ("%f", "%.1f", "%d",
// "%s" with a char16_t* argument, "%c" with a char16_t argument as int) into dst,
// cut to fit. Only the conversions this system uses are supported: %d, %f, %.Nf,
// %s (char16_t*), %c (char16_t) and %%. Locale-independent.
size_t FormatText(char16_t* dst, size_t cap, const char* format, ...);

// Exact powers of ten: every one up to 1e22 is a double without rounding, so a
// whole number of at most 2^53 over one of them is the correctly rounded value.
inline constexpr double kExactPowersOfTen[23] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                                 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// Numeric value of a text: leading white space skipped, then the longest prefix
// that reads as a decimal floating-point number (sign, digits, point, digits,
// exponent); 0.0 when there is none. Stops at the first character that cannot
// continue the number. The wide-character string-to-double of the C library,
// without its hexadecimal, "inf" and "nan" forms.
double TextToDouble(const char16_t* text);

// Integer value: leading white space, optional sign, decimal digits; 0 when there
// are no digits; values beyond int32 saturate.
int32_t TextToInt(const char16_t* text);

// UTF-16 text to UTF-8 and back (unpaired surrogates become U+FFFD).
std::string TextToUtf8(const char16_t* text);
std::u16string Utf8ToText(const std::string& utf8);

// Shortest decimal text that reads back to the same double (for machine output):
// plain notation while it stays within 24 characters, else with an exponent.
std::string DoubleToRoundTripText(double value);
