// Fuzz target: the first line of a network source file ("tcp://HOST:PORT",
// "gpsd://HOST[:PORT]") through ParseNetworkSource. Whatever it accepts names a
// network kind, a host and a port from 1 to 65535; nothing is resolved.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/posix/serial_source.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    SerialSource source;
    if (ParseNetworkSource(text, &source) != 1) return 0;
    if (source.kind != SerialSourceKind::Tcp && source.kind != SerialSourceKind::Gpsd) __builtin_trap();
    if (!(source.port >= 1 && source.port <= 65535)) __builtin_trap();
    if (source.host.empty() || source.host.size() > text.size()) __builtin_trap();
    return 0;
}
