#include "base/numbers.h"

#include <limits>

int32_t TruncToInt32(double value)
{
    // Written so that NaN fails both range tests and falls through to 0.
    if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    if (!(value > -2147483649.0 && value < 2147483648.0)) return 0;
    return static_cast<int32_t>(value);
}
