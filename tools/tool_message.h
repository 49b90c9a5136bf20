// The command-line tools' messages: one line "<program>: <text>" on standard
// error, and the exit status that goes with it.
#pragma once

#include <cstdio>
#include <string>

// Prints "<program>: <text>" (and " (see <program> --help)" when hint is 1) and
// returns status.
inline int ToolMessage(const char* program, const std::string& text, int status, int hint = 0)
{
    if (hint != 0)
        std::fprintf(stderr, "%s: %s (see %s --help)\n", program, text.c_str(), program);
    else
        std::fprintf(stderr, "%s: %s\n", program, text.c_str());
    return status;
}
