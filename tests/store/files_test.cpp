// Device files: the handheld's paths under the device root, case-insensitive
// fallback, never leaving the root, and the decoding of file bytes (UTF-8, else
// Windows-1252; CRLF as LF).
#include <gtest/gtest.h>

#include <string>

#include "store_test_support.h"

namespace {

struct PathRow {
    const char* name;
    const char16_t* device;
    const char* host;  // under the root
};

TEST(DevicePathToHost, Table)
{
    TempDeviceRoot root;
    std::filesystem::create_directories(root.Host("Maps/Nord"));
    root.Write("Maps/Nord/Centro.BMP", "x");
    // Provenance: the device-root rules (backslashes become '/', ".\" and "\" mean
    // the root, an existing component is found whatever its case).
    const PathRow rows[] = {
        {"absolute", u"\\My Documents\\Velkar\\vlcfg.cfg", "My Documents/Velkar/vlcfg.cfg"},
        {"relative to the root", u".\\temp.bmp", "temp.bmp"},
        {"case-insensitive match", u"\\maps\\NORD\\centro.bmp", "Maps/Nord/Centro.BMP"},
        {"missing tail kept as written", u"\\maps\\Sud\\X.bmp", "Maps/Sud/X.bmp"},
        {"'..' cannot leave the root", u"\\..\\..\\etc\\passwd", "etc/passwd"},
        {"'..' inside the root", u"\\Maps\\Nord\\..\\Nord\\Centro.BMP", "Maps/Nord/Centro.BMP"},
        {"doubled separators", u"\\\\Maps\\\\Nord\\Centro.BMP", "Maps/Nord/Centro.BMP"},
    };
    for (const PathRow& r : rows) EXPECT_EQ(DevicePathToHost(r.device), root.Host(r.host)) << r.name;
}

struct DecodeRow {
    const char* name;
    std::string bytes;
    std::u16string text;
};

// Provenance: UTF-8 where the bytes are valid UTF-8, Windows-1252 for every other
// byte (files written on the handheld); CRLF read as LF as a text-mode stream does.
const DecodeRow kDecodeRows[] = {
    {"ASCII", "[BEGIN]", u"[BEGIN]"},
    {"CRLF becomes LF", "a\r\nb\r\n", u"a\nb\n"},
    {"a lone CR stays", "a\rb\r\r\n", u"a\rb\r\n"},
    {"UTF-8 name", "Citt\xC3\xA0", u"Citt\u00E0"},
    {"Windows-1252 name", "Citt\xE0", u"Citt\u00E0"},
    {"Windows-1252 euro and quotes", "\x80 \x93x\x94", u"\u20AC \u201Cx\u201D"},
    {"overlong UTF-8 is not UTF-8", "\xC0\xAF", u"\u00C0\u00AF"},
    {"UTF-8 surrogate is not UTF-8", "\xED\xA0\x80", u"\u00ED\u00A0\u20AC"},
    {"four-byte UTF-8", "\xF0\x9F\x98\x80", u"\U0001F600"},
    {"cut UTF-8 at the end", "ok\xC3", u"ok\u00C3"},
};

TEST(DecodeTextBytes, Table)
{
    for (const DecodeRow& r : kDecodeRows) EXPECT_EQ(DecodeTextBytes(r.bytes), r.text) << r.name;
}

TEST(TextFiles, ReadAndAppend)
{
    TempDeviceRoot root;
    EXPECT_EQ(OpenTextFile(u"\\Scheda di memoria\\none.txt", "r"), nullptr);
    TextFile* out = OpenTextFile(u"\\Scheda di memoria\\log.txt", "a+t");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(WriteText(out, u"Citt\u00E0\n"), 1);
    EXPECT_EQ(CloseTextFile(out), 1);
    EXPECT_EQ(root.Read("Scheda di memoria/log.txt"), "Citt\xC3\xA0\n");
    TextFile* in = OpenTextFile(u"\\scheda di memoria\\LOG.TXT", "r");
    ASSERT_NE(in, nullptr);
    std::u16string text;
    char16_t c;
    while (ReadTextChar(in, &c) == 1) text.push_back(c);
    EXPECT_EQ(text, u"Citt\u00E0\n");
    CloseTextFile(in);
    // Appending into a folder that does not exist fails.
    EXPECT_EQ(OpenTextFile(u"\\No Card\\log.txt", "a+t"), nullptr);
}

}  // namespace
