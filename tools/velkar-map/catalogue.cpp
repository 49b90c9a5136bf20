// Raw records, the rewrite check, the lock's refusal, the bitmap header check
// and regular-file inputs.
#include "catalogue.h"

#include <unistd.h>

#include <cstdio>

#include "base/text.h"
#include "platform/bmp_layout.h"
#include "platform/files.h"
#include "store/bracket_tokens.h"

namespace {

struct RawReading {
    std::vector<RawRecord>* records;
    RawRecord current;
    int32_t pending = 0;  // tokens of a record not yet closed
};

int CollectToken(int32_t number, char16_t* token, void* context)
{
    auto& r = *static_cast<RawReading*>(context);
    r.current[static_cast<size_t>(number)] = token;
    r.pending = number == kLastTokenOfRecord ? 0 : number + 1;
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

int CatalogueRewritable(const char16_t* devicePath, std::string* why)
{
    if (!RecordFileReadable(DevicePathToHost(devicePath), why)) return 0;
    std::vector<RawRecord> records;
    RawReading reading{&records, RawRecord()};
    ReadBracketTokens(devicePath, CollectToken, &reading);
    if (reading.pending == 0) return 1;
    *why = "it ends in a record of " + std::to_string(reading.pending) + " value" + (reading.pending == 1 ? "" : "s") +
           " out of 13";
    return 0;
}

std::string LockRefusal(const std::string& holder)
{
    return "the device root's files are being changed by " + (holder.empty() ? std::string("another program") : holder) +
           " (waited 10 s); try again when it has finished";
}

int InputIsRegularFile(const std::string& hostPath, std::string* message)
{
    const int fd = OpenRegularFileForReading(hostPath);
    if (fd < 0) {
        *message = hostPath + " is missing, unreadable or not a regular file";
        return 0;
    }
    close(fd);
    return 1;
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
    // Opened like the navigator opens it: a FIFO or a device counts as missing.
    const int fd = OpenRegularFileForReading(hostPath);
    if (fd < 0) {
        c.detail = "missing, unreadable or not a regular file";
        return c;
    }
    std::string head(static_cast<size_t>(kBmpHeadBytes), '\0');
    ssize_t got = 0;
    while (got < kBmpHeadBytes) {
        const ssize_t n = pread(fd, head.data() + got, static_cast<size_t>(kBmpHeadBytes - got), got);
        if (n <= 0) break;
        got += n;
    }
    const int64_t fileSize = static_cast<int64_t>(lseek(fd, 0, SEEK_END));
    close(fd);
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
