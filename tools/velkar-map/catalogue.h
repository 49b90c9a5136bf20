// The map catalogue as velkar-map edits it: every complete record's thirteen
// token texts as written (so a record that is not touched is written back the
// same), a new record from an imported map, and a header check of a bitmap that
// tells whether the navigator can open it. Standard library and the core only.
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
