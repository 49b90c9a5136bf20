// Raw catalogue records and the bitmap header check.
#include "catalogue.h"

#include <cstdio>
#include <fstream>

#include "base/text.h"
#include "platform/bmp_layout.h"
#include "store/bracket_tokens.h"

namespace {

struct RawReading {
    std::vector<RawRecord>* records;
    RawRecord current;
};

int CollectToken(int32_t number, char16_t* token, void* context)
{
    auto& r = *static_cast<RawReading*>(context);
    r.current[static_cast<size_t>(number)] = token;
    if (number == kLastTokenOfRecord) {
        r.records->push_back(r.current);
        r.current = RawRecord();
    }
    return 1;
}

uint32_t Be32(const unsigned char* p) { return (uint32_t(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }

}  // namespace

int ReadRawRecords(const char16_t* devicePath, std::vector<RawRecord>* records)
{
    records->clear();
    RawReading reading{records, RawRecord()};
    return ReadBracketTokens(devicePath, CollectToken, &reading);
}

std::u16string RawRecordsText(const std::vector<RawRecord>& records)
{
    std::u16string text;
    for (const RawRecord& r : records) {
        for (const std::u16string& token : r) {
            text += u'[';
            text += token;
            text += u']';
        }
        text += u'\n';
    }
    return text;
}

std::u16string TokenText(const std::string& utf8, size_t cap)
{
    std::u16string text = Utf8ToText(utf8);
    for (char16_t& c : text) {
        if (c == u'[') c = u'(';
        else if (c == u']') c = u')';
        else if (c == u'\n' || c == u'\r' || c == u'\t') c = u' ';
    }
    if (cap > 0 && text.size() > cap - 1) text.resize(cap - 1);
    // A cut must not leave half of a surrogate pair.
    if (!text.empty() && text.back() >= 0xD800 && text.back() <= 0xDBFF) text.pop_back();
    return text;
}

std::string FixedText(double value, int decimals)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

// Headers read: PNG  89 50 4E 47 0D 0A 1A 0A | length(4) "IHDR" width(4, big-endian) height(4);
// JPEG FF D8 FF; BMP "BM" and the layout the navigator's own loader reads.
BitmapCheck CheckBitmapFile(const std::string& hostPath)
{
    BitmapCheck c{0, 0, 0, ""};
    std::ifstream in(hostPath, std::ios::binary);
    if (!in) {
        c.detail = "missing or unreadable";
        return c;
    }
    std::string head(static_cast<size_t>(kBmpHeadBytes), '\0');
    in.read(head.data(), kBmpHeadBytes);
    const std::streamsize got = in.gcount();
    in.clear();
    in.seekg(0, std::ios::end);
    const int64_t fileSize = static_cast<int64_t>(in.tellg());
    const auto* h = reinterpret_cast<const unsigned char*>(head.data());
    if (got >= 24 && h[0] == 0x89 && h[1] == 'P' && h[2] == 'N' && h[3] == 'G') {
        c.widthPx = static_cast<int32_t>(Be32(h + 16));
        c.heightPx = static_cast<int32_t>(Be32(h + 20));
        c.opens = c.widthPx > 0 && c.heightPx > 0;
        c.detail = "PNG " + std::to_string(c.widthPx) + " x " + std::to_string(c.heightPx) + " (decoded whole)";
        return c;
    }
    if (got >= 3 && h[0] == 0xFF && h[1] == 0xD8 && h[2] == 0xFF) {
        c.opens = 1;
        c.detail = "JPEG (decoded whole)";
        return c;
    }
    if (got < 2 || h[0] != 'B' || h[1] != 'M') {
        c.detail = "not a BMP, PNG or JPEG file";
        return c;
    }
    BmpLayout layout;
    const char* why = "";
    const BmpRoute route = ReadBmpLayout(h, fileSize, &layout, &why);
    if (route == BmpRoute::Refused) {
        c.detail = std::string("BMP: ") + why;
        return c;
    }
    c.opens = 1;
    c.widthPx = layout.width;
    c.heightPx = layout.height;
    c.detail = "BMP " + std::to_string(layout.bits) + "-bit, " + std::to_string(layout.width) + " x " +
               std::to_string(layout.height) + (route == BmpRoute::DecodeWhole ? " (run-length, decoded whole)" : "");
    return c;
}
