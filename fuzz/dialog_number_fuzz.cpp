// Fuzz target: what a person can type into the dialogs' number fields, converted
// as the dialogs convert it: GoTo's six fields (23 characters each) through
// FieldNumber (a decimal comma allowed), DmsToDegrees and LatLonToGrid; the map calibration fields through
// TextToInt. Input bytes are taken two at a time as UTF-16 code units.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>

#include "base/numbers.h"
#include "base/text.h"
#include "dialogs/field_number.h"
#include "geo/geo.h"

namespace {

constexpr size_t kGoToFieldSize = 24;       // 23 typed characters and the terminator
constexpr size_t kCalibrationFieldSize = 20;  // 19 typed characters and the terminator

// The field's text as the dialog reads it: cut to its size, terminated.
std::u16string Field(const std::u16string& typed, size_t size)
{
    std::u16string text = typed.substr(0, size - 1);
    const size_t end = text.find(u'\0');
    return end == std::u16string::npos ? text : text.substr(0, end);
}

// TextToInt against the C library on plain ASCII text: the same digits read,
// saturated to 32 bits.
void CheckInt(const std::u16string& text, int32_t value)
{
    std::string ascii;
    for (char16_t c : text) {
        if (c >= 0x80 || c == 0) return;
        ascii.push_back(static_cast<char>(c));
    }
    long long expected = std::strtoll(ascii.c_str(), nullptr, 10);
    if (expected > std::numeric_limits<int32_t>::max()) expected = std::numeric_limits<int32_t>::max();
    if (expected < std::numeric_limits<int32_t>::min()) expected = std::numeric_limits<int32_t>::min();
    if (value != expected) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::u16string typed(size / 2, u'\0');
    for (size_t i = 0; i < typed.size(); ++i) typed[i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));

    // Six GoTo fields, one after another in the input, separated by code unit 0x000A.
    double fields[6] = {};
    size_t start = 0;
    for (double& field : fields) {
        const size_t end = std::min(typed.find(u'\n', start), typed.size());
        const std::u16string text = Field(typed.substr(start, end - start), kGoToFieldSize);
        field = FieldNumber(text.c_str());
        if (std::isnan(field)) __builtin_trap();
        start = std::min(end + 1, typed.size());
    }
    const double latitude = DmsToDegrees(fields[0], fields[1], fields[2]);
    const double longitude = DmsToDegrees(fields[3], fields[4], fields[5]);
    double northing = 0, easting = 0;
    LatLonToGrid(latitude, longitude, &northing, &easting);
    (void)TruncToInt32(northing), (void)TruncToInt32(easting);

    const std::u16string calibration = Field(typed, kCalibrationFieldSize);
    CheckInt(calibration, TextToInt(calibration.c_str()));
    return 0;
}
