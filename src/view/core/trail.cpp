// The trail's ring and its file text: points kept a few metres apart, the oldest
// dropped past 10 km or a full ring; one "easting northing" line a point, read
// back strictly (anything else on a line skips the line).
#include "view/trail.h"

#include <cmath>
#include <string>

#include "base/text.h"

Trail trail;
const char16_t kTrailPath[] = u"\\My Documents\\Velkar\\vltrail.txt";

namespace {

constexpr double kPlaneLimit = 1e8;  // metres: far beyond any plane-grid value

double Gap(const TrailPoint& a, const TrailPoint& b) { return std::hypot(b.easting - a.easting, b.northing - a.northing); }

TrailPoint& Slot(int32_t i) { return trail.points[(trail.first + i) % kTrailCapacity]; }

void DropOldest()
{
    if (trail.count >= 2) trail.length -= Gap(Slot(0), Slot(1));
    trail.first = (trail.first + 1) % kTrailCapacity;
    --trail.count;
    if (trail.count <= 1) trail.length = 0.0;
}

// A plane-metre number: optional sign, digits with at most one point, nothing else.
int ReadNumber(const std::u16string& field, double* out)
{
    if (field.empty() || field.size() > 32) return 0;
    int digits = 0, points = 0;
    for (size_t i = 0; i < field.size(); ++i) {
        const char16_t c = field[i];
        if (c >= u'0' && c <= u'9') ++digits;
        else if (c == u'.') ++points;
        else if (!(c == u'-' && i == 0)) return 0;
    }
    if (digits == 0 || points > 1) return 0;
    *out = TextToDouble(field.c_str());
    return 1;
}

}  // namespace

void ClearTrail()
{
    trail.first = trail.count = 0;
    trail.length = 0.0;
}

int AddTrailPoint(double easting, double northing)
{
    if (!(std::fabs(easting) < kPlaneLimit && std::fabs(northing) < kPlaneLimit)) return 0;
    const TrailPoint p = {easting, northing};
    if (trail.count > 0) {
        const double gap = Gap(Slot(trail.count - 1), p);
        if (gap < kTrailSpacing) return 0;
        if (trail.count == kTrailCapacity) DropOldest();
        trail.length += trail.count > 0 ? gap : 0.0;
    }
    Slot(trail.count) = p;
    ++trail.count;
    while (trail.count > 2 && trail.length - Gap(Slot(0), Slot(1)) >= kTrailLength) DropOldest();
    return 1;
}

const TrailPoint& TrailPointAt(int32_t i) { return Slot(i); }

std::u16string TrailText()
{
    std::u16string text;
    char16_t line[64];
    for (int32_t i = 0; i < trail.count; ++i) {
        FormatText(line, 64, "%.2f %.2f\n", Slot(i).easting, Slot(i).northing);
        text += line;
    }
    return text;
}

int32_t ParseTrailText(const std::u16string& text)
{
    ClearTrail();
    int32_t read = 0;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find(u'\n', start);
        if (end == std::u16string::npos) end = text.size();
        std::u16string line = text.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == u'\r') line.pop_back();
        const size_t space = line.find(u' ');
        double e = 0.0, n = 0.0;
        if (space == std::u16string::npos || !ReadNumber(line.substr(0, space), &e) ||
            !ReadNumber(line.substr(space + 1), &n))
            continue;
        read += AddTrailPoint(e, n);
    }
    return read;
}
