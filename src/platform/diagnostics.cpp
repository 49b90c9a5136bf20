// Diagnostic lines on standard error, printed only when the switch is on.
#include "platform/diagnostics.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <unistd.h>

namespace {
std::atomic<int> verbose{0};
}  // namespace

void SetVerbose(int on) { verbose.store(on != 0 ? 1 : 0); }

int VerboseEnabled() { return verbose.load(); }

void VerboseLine(const char* format, ...)
{
    if (verbose.load() == 0) return;
    char line[1024];
    int n = std::snprintf(line, sizeof line, "velkar: ");
    va_list args;
    va_start(args, format);
    int m = std::vsnprintf(line + n, sizeof line - static_cast<size_t>(n) - 1, format, args);
    va_end(args);
    size_t length = static_cast<size_t>(n) + (m < 0 ? 0 : static_cast<size_t>(m));
    if (length > sizeof line - 2) length = sizeof line - 2;
    line[length++] = '\n';
    // One write per line, so that lines from two threads never interleave.
    ssize_t written = write(2, line, length);
    (void)written;
}
