// Raw catalogue records and the bitmap header check.
#include "catalogue.h"

#include <cstdio>
#include <fstream>

#include "base/text.h"
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

uint32_t Le32(const unsigned char* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t Le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
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

// Headers read:
//   BMP  "BM" size(4) 0(4) pixelOffset(4) | infoSize(4) width(4) height(4) planes(2) bits(2) compression(4) ...
//   PNG  89 50 4E 47 0D 0A 1A 0A | length(4) "IHDR" width(4, big-endian) height(4)
//   JPEG FF D8 FF
BitmapCheck CheckBitmapFile(const std::string& hostPath)
{
    BitmapCheck c{0, 0, 0, ""};
    std::ifstream in(hostPath, std::ios::binary);
    if (!in) {
        c.detail = "missing or unreadable";
        return c;
    }
    unsigned char h[54] = {};
    in.read(reinterpret_cast<char*>(h), sizeof h);
    const std::streamsize got = in.gcount();
    in.clear();
    in.seekg(0, std::ios::end);
    const uint64_t fileSize = static_cast<uint64_t>(in.tellg());
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
    if (got < 26 || h[0] != 'B' || h[1] != 'M') {
        c.detail = "not a BMP, PNG or JPEG file";
        return c;
    }
    const uint32_t offset = Le32(h + 10);
    const uint32_t infoSize = Le32(h + 14);
    int64_t width = 0, height = 0;
    uint32_t bits = 0, compression = 0;
    if (infoSize == 12) {
        width = Le16(h + 18);
        height = static_cast<int16_t>(Le16(h + 20));
        bits = Le16(h + 24);
    } else if (infoSize >= 40 && got >= 54) {
        width = static_cast<int32_t>(Le32(h + 18));
        height = static_cast<int32_t>(Le32(h + 22));
        bits = Le16(h + 28);
        compression = Le32(h + 30);
    } else {
        c.detail = "BMP with an unknown header";
        return c;
    }
    const int64_t rows = height < 0 ? -height : height;
    c.widthPx = static_cast<int32_t>(width);
    c.heightPx = static_cast<int32_t>(rows);
    c.detail = "BMP " + std::to_string(bits) + "-bit, " + std::to_string(width) + " x " + std::to_string(rows);
    if (!(width > 0 && rows > 0) || !(bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32)) {
        c.detail += ": impossible size or depth";
        return c;
    }
    if (compression == 0 || compression == 3) {
        const uint64_t stride = ((static_cast<uint64_t>(width) * bits + 31) / 32) * 4;
        if (uint64_t(offset) + stride * static_cast<uint64_t>(rows) > fileSize) {
            c.detail += ": the file is shorter than its pixels";
            return c;
        }
    } else if (!(compression == 1 || compression == 2)) {
        c.detail += ": unknown compression " + std::to_string(compression);
        return c;
    }
    c.opens = 1;
    return c;
}
