// Number conversions shared by every layer.
// Doubles become integers by truncation toward zero; NaN and values outside the
// target range saturate instead of invoking undefined behaviour.
#pragma once

#include <cstdint>

// Truncates toward zero (2.9 -> 2, -2.9 -> -2). NaN gives 0; values beyond the
// int32 range give INT32_MIN or INT32_MAX. Inline: every parsed field passes here.
inline int32_t TruncToInt32(double value)
{
    // Written so that NaN fails both range tests and falls through to 0.
    if (value >= 2147483647.0) return INT32_MAX;
    if (value <= -2147483648.0) return INT32_MIN;
    if (!(value > -2147483649.0 && value < 2147483648.0)) return 0;
    return static_cast<int32_t>(value);
}

// x squared: what pow(x, 2.0) gives in an optimised build, written out so that
// every build (optimised, debug, sanitised) computes the same bits.
inline double Square(double x) { return x * x; }
