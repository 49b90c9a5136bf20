// Base helpers: the one saturating double-to-int conversion and number reading from wide text
// (the parsers' tests cover the common forms; these are the limits).
#include <gtest/gtest.h>
#include <limits>
#include <string>
#include "base/numbers.h"
#include "base/text.h"

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max(), kMin = std::numeric_limits<int32_t>::min();

// Provenance: truncation toward zero as C does in range; saturation where a raw cast is undefined.
TEST(Numbers, TruncationAndReading)
{
    const struct { const char* name; double value; int32_t expected; } rows[] = {
        {"positive fraction", 2.9, 2}, {"negative fraction", -2.9, -2}, {"largest", 2147483647.0, kMax},
        {"just above the largest", 2147483647.5, kMax}, {"just below the smallest", -2147483648.9, kMin},
        {"far above", 1e300, kMax}, {"minus infinity", -kInf, kMin},
        {"NaN", std::numeric_limits<double>::quiet_NaN(), 0}};
    for (const auto& r : rows) EXPECT_EQ(TruncToInt32(r.value), r.expected) << r.name;
    // Text: the longest prefix of sign, digits, point, digits, exponent (no hex, inf or nan forms, as
    // strtod in the C locale would take them); integers saturate.
    const struct { std::u16string text; double expected; } doubles[] = {
        {u" \t+.5e+1", 5}, {u"2e+", 2}, {u"0x10", 0}, {u"inf", 0}, {u"nan", 0}, {u"1e400", kInf}, {u"1e-400", 0},
        {u"1" + std::u16string(400, u'0'), kInf}, {u"0.000" + std::u16string(300, u'0') + u"1e310", 1e6}};
    for (const auto& r : doubles) EXPECT_EQ(TextToDouble(r.text.c_str()), r.expected) << TextToUtf8(r.text.c_str());
    EXPECT_TRUE(TextToInt(u"99999999999999999999") == kMax && TextToInt(u"-99999999999999999999") == kMin);
}
}  // namespace
