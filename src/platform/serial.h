// Serial link to the receiver: open a device by name ("COM1:".."COM5:"), line
// settings, time-outs, modem lines, event mask and event wait, one-byte reads,
// and the reader thread. Standard types only; the POSIX side is platform/posix/.
#pragma once

#include <cstdint>

using PortHandle = intptr_t;
constexpr PortHandle kInvalidPort = -1;
