// The record files as both tools edit them: every complete record's thirteen
// token texts as written (so a record that is not touched is written back the
// same), whether a file can be rewritten without loss, the device root's lock, a
// bitmap header check, and input files opened like the navigator opens them.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

using RawRecord = std::array<std::u16string, 13>;

// The complete records of the bracket-token file at devicePath, in order. Returns
// 0 when the file cannot be opened (records empty), else 1.
int ReadRawRecords(const char16_t* devicePath, std::vector<RawRecord>* records);

// The file content: one record a line, "[t0][t1]...[t12]\n".
std::u16string RawRecordsText(const std::vector<RawRecord>& records);

// A token text that stays one token: '[' and ']' become '(' and ')', line breaks
// spaces, cut to cap - 1 characters (the field's capacity).
std::u16string TokenText(const std::string& utf8, size_t cap);

// Fixed-point decimal text, C locale ("%.*f").
std::string FixedText(double value, int decimals);

struct BitmapCheck {
    int opens;           // 1 when the header is one the navigator reads and the file holds the pixels
    int32_t widthPx;     // from the header (0 when unknown)
    int32_t heightPx;
    std::string detail;  // "BMP 24-bit, 741 x 498", or why it does not open
};

// Reads the header of the bitmap at hostPath (BMP, PNG or JPEG); a BMP by the
// navigator's own layout reader.
BitmapCheck CheckBitmapFile(const std::string& hostPath);

// 1 when the bracket-token file at devicePath is missing, or is read record by
// record whole (no partial record at its end, text the reader decodes); 0 with
// *why a few words otherwise: rewriting it would lose what the reader cannot see.
int CatalogueRewritable(const char16_t* devicePath, std::string* why);

// How long a tool waits for the device root's lock, and its refusal text.
constexpr int kLockWaitMs = 10000;
std::string LockRefusal(const std::string& holder);

// 1 when hostPath opens, without waiting, as a regular file (a FIFO or a device
// is refused at once); 0 with a one-line *message naming the path otherwise.
int InputIsRegularFile(const std::string& hostPath, std::string* message);
