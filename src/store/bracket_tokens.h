// Bracket-token files: every value sits between '[' and ']'; text outside the
// brackets is ignored. Tokens are numbered 0 to 12 within a record; the thirteenth
// ']' (token 12) closes the record and numbering starts again at 0.
#pragma once

#include <cstdint>
#include <string>

constexpr int kTokenBufferSize = 256;  // token text, terminator included
constexpr int32_t kLastTokenOfRecord = 12;

// Called for every ']' with the token's number in its record and its text
// (terminated, at most 255 characters: longer text is cut). Token 12 closes the
// record. Return 1 to go on reading, 0 to stop (the file is then closed).
using TokenAction = int (*)(int32_t tokenNumber, char16_t* token, void* context);

// Reads the file at devicePath through the device root. Returns 0 when it cannot
// be opened, 1 otherwise (an empty file delivers no token).
int ReadBracketTokens(const char16_t* devicePath, TokenAction action, void* context);

// The same over text already in memory; used by the file reader and the fuzzer.
void ScanBracketTokens(const std::u16string& text, TokenAction action, void* context);
