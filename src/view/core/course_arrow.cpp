// Course (degrees from true north) to the index of the arrow icon that shows it.
// Sectors are open below and closed above; the south arrow (index 4) is loaded
// with the others but never chosen.
#include "view/view.h"

int32_t CourseToArrow(double course)
{
    // Each test fails for NaN, so a course that is not a number falls through to 0.
    if (course > 0.0 && course <= 45.0) return 0;
    if (course > 45.0 && course <= 90.0) return 1;
    if (course > 90.0 && course <= 135.0) return 2;
    if (course > 135.0 && course <= 180.0) return 3;
    if (course > 180.0 && course <= 225.0) return 5;
    if (course > 225.0 && course <= 270.0) return 6;
    if (course > 270.0 && course <= 315.0) return 7;
    if (course > 315.0 && course <= 360.0) return 0;
    return 0;
}
