#include "store/bracket_tokens.h"

#include "platform/files.h"

namespace {

// Scanner state shared by the file and memory readers.
struct Scanner {
    char16_t buffer[kTokenBufferSize];
    int p = 0;        // where the next character is stored
    int32_t k = 0;    // token number within the record
};

// Feeds one character; returns 0 when the action asked to stop.
inline int ScanChar(Scanner& s, char16_t c, TokenAction action, void* context)
{
    if (c == u'[') {
        s.p = 0;  // the '[' itself is not part of the token
        return 1;
    }
    if (c == u']') {
        // The token is everything stored since the last '['. p does not move, so the
        // characters after a ']' are stored behind the token just read, and a ']'
        // with no '[' before it delivers that token again with them appended
        // ("[ab]cd]" gives "ab", then "abcd"), as the layout has always read it.
        s.buffer[s.p] = 0;
        const int32_t number = s.k;
        s.k = (number == kLastTokenOfRecord) ? 0 : number + 1;
        return action(number, s.buffer, context);
    }
    // Overlong text is cut: characters beyond the buffer's room are dropped.
    if (s.p < kTokenBufferSize - 1) s.buffer[s.p++] = c;
    return 1;
}

}  // namespace

void ScanBracketTokens(const std::u16string& text, TokenAction action, void* context)
{
    Scanner s;
    for (char16_t c : text)
        if (ScanChar(s, c, action, context) == 0) return;
}

int ReadBracketTokens(const char16_t* devicePath, TokenAction action, void* context)
{
    TextFile* file = OpenTextFile(devicePath, "r");
    if (file == nullptr) return 0;
    Scanner s;
    char16_t c;
    while (ReadTextChar(file, &c) == 1)
        if (ScanChar(s, c, action, context) == 0) break;
    CloseTextFile(file);
    return 1;
}
