// Wide-text helpers: number reading as the C library's wide string-to-double does
// (without its hex, inf and nan forms), integer reading, printf-style formatting,
// copies cut to their capacity, UTF-8 both ways.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "base/text.h"

namespace {

struct DoubleRow {
    const char* name;
    std::u16string text;
    double expected;
};

// Provenance: the numeric-value rule (white space, then the longest prefix of
// sign, digits, point, digits, exponent; 0 when none), checked against strtod in
// the C locale by hand.
const DoubleRow kDoubleRows[] = {
    {"plain", u"4420.924", 4420.924},
    {"leading white space", u" \t\n12.5", 12.5},
    {"trailing text", u"12abc", 12},
    {"sign and exponent", u"-3.5e2x", -350},
    {"plus and point first", u"+.5e+1", 5},
    {"point last", u"7.", 7},
    {"exponent without digits is left out", u"1e", 1},
    {"exponent sign without digits", u"2e+", 2},
    {"lone point", u".", 0},
    {"lone sign", u"-", 0},
    {"letter", u"K", 0},
    {"empty", u"", 0},
    {"hex is not read", u"0x10", 0},
    {"inf is not read", u"inf", 0},
    {"nan is not read", u"nan", 0},
    {"checksum behind", u"00030*65\n", 30},
    {"zero padded negative", u"-0028", -28},
    {"eight decimals", u"4134.50180291", 4134.50180291},
    {"overflow", u"1e400", std::numeric_limits<double>::infinity()},
    {"negative overflow", u"-1e400", -std::numeric_limits<double>::infinity()},
    {"underflow by exponent", u"1e-400", 0},
    {"underflow without exponent", u"0." + std::u16string(400, u'0') + u"1", 0},
    {"overflow without exponent", u"1" + std::u16string(400, u'0'), std::numeric_limits<double>::infinity()},
    {"many digits but in range", u"0.000" + std::u16string(300, u'0') + u"1e310", 1e6},
    {"large negative exponent on a long number", u"1" + std::u16string(400, u'0') + u"e-800", 0},
};

TEST(TextToDouble, Table)
{
    for (const DoubleRow& r : kDoubleRows) {
        const double v = TextToDouble(r.text.c_str());
        if (std::isinf(r.expected)) {
            EXPECT_EQ(v, r.expected) << r.name;
        } else {
            EXPECT_DOUBLE_EQ(v, r.expected) << r.name;
        }
    }
}

struct IntRow {
    const char* name;
    const char16_t* text;
    int32_t expected;
};

const IntRow kIntRows[] = {
    {"stops at the point", u"1.69", 1},
    {"zero padded", u"04", 4},
    {"negative", u"-3", -3},
    {"white space", u"  42x", 42},
    {"no digits", u"M", 0},
    {"empty", u"", 0},
    {"saturates high", u"99999999999999999999", std::numeric_limits<int32_t>::max()},
    {"saturates low", u"-99999999999999999999", std::numeric_limits<int32_t>::min()},
};

TEST(TextToInt, Table)
{
    for (const IntRow& r : kIntRows) EXPECT_EQ(TextToInt(r.text), r.expected) << r.name;
}

TEST(FormatText, Conversions)
{
    char16_t out[128];
    FormatText(out, 128, "%f;%f;%s;%d;%f;%f \n", 44.348733333333335, 11.7175, u"163400.0", 1, 0.0, 0.0);
    EXPECT_EQ(std::u16string(out), u"44.348733;11.717500;163400.0;1;0.000000;0.000000 \n");
    FormatText(out, 128, "%.1f km/h %c%% %d", 10.25, static_cast<int>(u'N'), -7);
    EXPECT_EQ(std::u16string(out), u"10.2 km/h N% -7");
    FormatText(out, 128, "%.3f°", 1.0005);
    EXPECT_EQ(std::u16string(out), u"1.000°");
    // Cut to the capacity, always terminated.
    FormatText(out, 8, "%f", 123456.789);
    EXPECT_EQ(std::u16string(out), u"123456.");
    FormatText(out, 128, "%f", 1e300);
    EXPECT_EQ(std::u16string(out).size(), 127u);
}

TEST(CopyText, CutToCapacity)
{
    char16_t small[4] = {u'x', u'x', u'x', u'x'};
    EXPECT_EQ(CopyText(small, 4, u"abcdef"), 3u);
    EXPECT_EQ(std::u16string(small), u"abc");
    EXPECT_EQ(AppendText(small, 4, u"zz"), 3u);
    EXPECT_EQ(std::u16string(small), u"abc");
    char16_t room[10] = u"ab";
    EXPECT_EQ(AppendAsciiText(room, 10, "cdefghijkl"), 9u);
    EXPECT_EQ(std::u16string(room), u"abcdefghi");
    EXPECT_EQ(CopyAsciiText(room, 10, "\xE9t\xE9"), 3u);
    EXPECT_EQ(std::u16string(room), u"\u00E9t\u00E9");
}

TEST(Utf8, BothWays)
{
    const std::u16string text = u"Città € \U0001F600";
    EXPECT_EQ(TextToUtf8(text.c_str()), "Citt\xC3\xA0 \xE2\x82\xAC \xF0\x9F\x98\x80");
    EXPECT_EQ(Utf8ToText("Citt\xC3\xA0 \xE2\x82\xAC \xF0\x9F\x98\x80"), text);
    EXPECT_EQ(Utf8ToText("a\xFF" "b"), u"a\uFFFDb");
    const char16_t lone[] = {u'a', 0xD800, u'b', 0};
    EXPECT_EQ(TextToUtf8(lone), "a\xEF\xBF\xBD" "b");
}

TEST(DoubleToRoundTripText, ReadsBackToTheSameBits)
{
    const double values[] = {44.348733333333335, 716594.8989092462, -3754111.171, 0.1, 1e-300, 5e-324, -0.0, 30.0,
                             500000.0, 1e22, 123456789012345680000.0, 2.5e-7, -1e300};
    for (double v : values) {
        const std::string text = DoubleToRoundTripText(v);
        EXPECT_EQ(std::strtod(text.c_str(), nullptr), v) << text;
    }
    EXPECT_EQ(DoubleToRoundTripText(30.0), "30");
    EXPECT_EQ(DoubleToRoundTripText(500000.0), "500000");
    EXPECT_EQ(DoubleToRoundTripText(0.001), "0.001");
    EXPECT_EQ(DoubleToRoundTripText(1e-300), "1e-300");
    EXPECT_EQ(DoubleToRoundTripText(1e22), "10000000000000000000000");
    EXPECT_EQ(DoubleToRoundTripText(1e25), "1e+25");
}

}  // namespace
