// The machine's monotonic clock, in milliseconds since an arbitrary start. It
// never goes back and is not touched by changes of the wall clock, nor by
// --time-scale, which quickens the program's timers only. Standard library only.
#pragma once

#include <chrono>
#include <cstdint>

inline int64_t MonotonicMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}
