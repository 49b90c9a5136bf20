// The command-line tools' messages: one line "<program>: <text>" on standard
// error, and the exit status that goes with it; and an option's value.
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

// The value of the option at argv[*i]: the next argument, *i moved onto it. 0
// with *message ("--root needs a value") when there is none.
inline int OptionValue(int argc, char** argv, int* i, std::string* out, std::string* message)
{
    if (*i + 1 >= argc) {
        *message = std::string(argv[*i]) + " needs a value";
        return 0;
    }
    *out = argv[++*i];
    return 1;
}
