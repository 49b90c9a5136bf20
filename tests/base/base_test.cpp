// Base helpers at their limits (the parsers' tests cover the common forms): the saturating
// double-to-int conversion and number reading from wide text.
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include "base/numbers.h"
#include "base/text.h"

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity(), kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max(), kMin = std::numeric_limits<int32_t>::min();

// Provenance: truncation toward zero as C does in range; saturation where a raw cast is undefined.
// Text: the longest prefix of sign, digits, point, digits, exponent (no hex, inf or nan forms, as
// strtod in the C locale would take them); integers saturate.
TEST(Numbers, TruncationAndReading)
{
    const struct { double value; int32_t expected; } rows[] = {{2.9, 2}, {-2.9, -2}, {2147483647.0, kMax},
        {2147483647.5, kMax}, {-2147483648.9, kMin}, {1e300, kMax}, {-kInf, kMin}, {kNaN, 0}};
    for (const auto& r : rows) EXPECT_EQ(TruncToInt32(r.value), r.expected) << r.value;
    const struct { std::u16string text; double expected; } doubles[] = {
        {u" \t+.5e+1", 5}, {u"2e+", 2}, {u"0x10", 0}, {u"inf", 0}, {u"nan", 0}, {u"1e400", kInf}, {u"1e-400", 0},
        {u"1" + std::u16string(400, u'0'), kInf}, {u"0.000" + std::u16string(300, u'0') + u"1e310", 1e6}};
    for (const auto& r : doubles) EXPECT_EQ(TextToDouble(r.text.c_str()), r.expected) << TextToUtf8(r.text.c_str());
    EXPECT_TRUE(TextToInt(u"99999999999999999999") == kMax && TextToInt(u"-99999999999999999999") == kMin);
}
}  // namespace
