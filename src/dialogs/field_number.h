// A number typed into a dialog's field: as TextToDouble reads it, with a comma
// taken as the decimal point ("45,695" is 45.695, as Italians write it). Header
// only and standard C++, so that the fuzz target converts exactly as the dialogs do.
#pragma once

#include <cstddef>

#include "base/text.h"

constexpr size_t kFieldNumberSize = 64;  // longer text is cut, as a field would cut it

inline double FieldNumber(const char16_t* text)
{
    char16_t copy[kFieldNumberSize] = {};
    for (size_t i = 0; i + 1 < kFieldNumberSize && text != nullptr && text[i] != 0; ++i)
        copy[i] = text[i] == u',' ? u'.' : text[i];
    return TextToDouble(copy);
}
