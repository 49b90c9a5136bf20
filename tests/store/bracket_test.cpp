// The bracket-token reader: what each ']' delivers and under which number, text
// outside brackets, a ']' without its '[', overlong tokens, and stopping early.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "store/bracket_tokens.h"
#include "store_test_support.h"

namespace {

using Tokens = std::vector<std::pair<int32_t, std::u16string>>;

int Collect(int32_t number, char16_t* token, void* context)
{
    static_cast<Tokens*>(context)->emplace_back(number, std::u16string(token));
    return 1;
}

Tokens Scan(const std::u16string& text)
{
    Tokens tokens;
    ScanBracketTokens(text, Collect, &tokens);
    return tokens;
}

struct ScanRow {
    const char* name;
    std::u16string text;
    Tokens expected;
};

// Provenance: the reading algorithm (the '[' restarts the buffer, the ']' closes
// the token without moving on, so text after a ']' lands behind the token read).
const ScanRow kScanRows[] = {
    {"two tokens", u"[BEGIN][2]", {{0, u"BEGIN"}, {1, u"2"}}},
    {"text outside is ignored", u"comment [a]\n  x [b]\r\n", {{0, u"a"}, {1, u"b"}}},
    {"no space at all", u"[a][b][c]", {{0, u"a"}, {1, u"b"}, {2, u"c"}}},
    {"a ']' without '[' repeats with what followed", u"[ab]cd]", {{0, u"ab"}, {1, u"abcd"}}},
    {"a ']' first gives an empty token", u"]", {{0, u""}}},
    {"no ']' gives nothing", u"[BEGIN", {}},
    {"spaces and backslashes kept", u"[ \\My Documents\\a b.bmp ]", {{0, u" \\My Documents\\a b.bmp "}}},
    {"brackets do not nest", u"[a[b]]", {{0, u"b"}, {1, u"b"}}},
};

TEST(ScanBracketTokens, Table)
{
    for (const ScanRow& r : kScanRows) EXPECT_EQ(Scan(r.text), r.expected) << r.name;
}

TEST(ScanBracketTokens, NumberingRestartsAfterTwelve)
{
    std::u16string text;
    for (int i = 0; i < 27; ++i) text += u"[" + std::u16string(1, static_cast<char16_t>(u'a' + (i % 26))) + u"]";
    const Tokens tokens = Scan(text);
    ASSERT_EQ(tokens.size(), 27u);
    for (size_t i = 0; i < tokens.size(); ++i) EXPECT_EQ(tokens[i].first, static_cast<int32_t>(i % 13)) << i;
}

// The token buffer holds 255 characters and the terminator; longer text is cut
// and the reading goes on in step.
TEST(ScanBracketTokens, OverlongTokenIsCut)
{
    const Tokens tokens = Scan(u"[" + std::u16string(1 << 20, u'7') + u"][next]");
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0].second, std::u16string(255, u'7'));
    EXPECT_EQ(tokens[1], (std::pair<int32_t, std::u16string>{1, u"next"}));
    // Text between a ']' and the next '[' counts towards the same room.
    const Tokens after = Scan(u"[ab]" + std::u16string(600, u'x') + u"]");
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[1].second.size(), 255u);
}

int StopAtSecond(int32_t number, char16_t*, void* context)
{
    ++*static_cast<int*>(context);
    return number < 1 ? 1 : 0;
}

TEST(ScanBracketTokens, ActionStopsTheReading)
{
    int calls = 0;
    ScanBracketTokens(u"[a][b][c][d]", StopAtSecond, &calls);
    EXPECT_EQ(calls, 2);
}

TEST(ReadBracketTokens, Files)
{
    TempDeviceRoot root;
    Tokens tokens;
    EXPECT_EQ(ReadBracketTokens(u"\\My Documents\\Velkar\\none.cfg", Collect, &tokens), 0);
    root.Write("My Documents/Velkar/empty.cfg", "");
    EXPECT_EQ(ReadBracketTokens(u"\\My Documents\\Velkar\\empty.cfg", Collect, &tokens), 1);
    EXPECT_TRUE(tokens.empty());
    // A folder is not a file.
    EXPECT_EQ(ReadBracketTokens(u"\\My Documents\\Velkar", Collect, &tokens), 0);
    root.Write("My Documents/Velkar/crlf.cfg", "[BEGIN]\r\n[2]\r\n");
    EXPECT_EQ(ReadBracketTokens(u"\\My Documents\\Velkar\\crlf.cfg", Collect, &tokens), 1);
    EXPECT_EQ(tokens, (Tokens{{0, u"BEGIN"}, {1, u"2"}}));
}

}  // namespace
