// The one double-to-int conversion: truncation toward zero, saturation beyond the
// int32 range, 0 for NaN.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "base/numbers.h"

namespace {

struct TruncRow {
    const char* name;
    double value;
    int32_t expected;
};

// Provenance: truncation toward zero as the C conversion does within range; the
// saturation values are this system's answer where a raw cast is undefined.
const TruncRow kTruncRows[] = {
    {"positive fraction", 2.9, 2},
    {"negative fraction", -2.9, -2},
    {"741.9 pixels", 741.9, 741},
    {"minus zero", -0.0, 0},
    {"largest int32", 2147483647.0, 2147483647},
    {"just above the largest", 2147483647.5, 2147483647},
    {"smallest int32", -2147483648.0, std::numeric_limits<int32_t>::min()},
    {"just below the smallest", -2147483648.9, std::numeric_limits<int32_t>::min()},
    {"far above", 1e300, std::numeric_limits<int32_t>::max()},
    {"far below", -1e300, std::numeric_limits<int32_t>::min()},
    {"infinity", std::numeric_limits<double>::infinity(), std::numeric_limits<int32_t>::max()},
    {"minus infinity", -std::numeric_limits<double>::infinity(), std::numeric_limits<int32_t>::min()},
    {"NaN", std::numeric_limits<double>::quiet_NaN(), 0},
};

TEST(TruncToInt32, Table)
{
    for (const TruncRow& r : kTruncRows) EXPECT_EQ(TruncToInt32(r.value), r.expected) << r.name;
}

}  // namespace
