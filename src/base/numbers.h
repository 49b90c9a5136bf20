// Number conversions shared by every layer.
// Doubles become integers by truncation toward zero; NaN and values outside the
// target range saturate instead of invoking undefined behaviour.
#pragma once

#include <cstdint>

// Truncates toward zero (2.9 -> 2, -2.9 -> -2). NaN gives 0; values beyond the
// int32 range give INT32_MIN or INT32_MAX.
int32_t TruncToInt32(double value);

// x squared: what pow(x, 2.0) gives in an optimised build, written out so that
// every build (optimised, debug, sanitised) computes the same bits.
inline double Square(double x) { return x * x; }
