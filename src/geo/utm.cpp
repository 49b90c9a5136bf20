// UTM conversion: Snyder's ellipsoidal transverse Mercator series (powers of A up
// to A^5 and A^6, meridian arc to the e^6 term). Every constant is stored as the
// system stores it and every grouping is kept, so results match the reference
// figures to well under a millimetre.
#include "geo/geo.h"

#include <cmath>

#include "base/numbers.h"

namespace {

constexpr double kSemiMajor = 6378137.0;                 // a, metres
constexpr double kE2 = 0.006694379989312248;             // first eccentricity squared
constexpr double kEp2 = 0.006739496741436152;            // second, stored by itself
constexpr double kK0 = 0.9996;
constexpr double kFalseEasting = 500000.0;               // metres
constexpr double kOneMinusE2Quarter = 0.9983264050026719; // 1 - e2/4
constexpr double kThreeE2Eighths = 0.002510392495992093; // 3 e2/8
constexpr double k58Ep2 = 0.3908908110032968;            // 58 ep2
constexpr double k330Ep2 = 2.2240339246739302;           // 330 ep2
constexpr double kOne360th = 0.002777777777777778;
constexpr double kMinusOneSixth = -0.16666666666666666;  // zone step
constexpr double kOneSixth = 0.16666666666666666;
constexpr double kOne24th = 0.041666666666666664;
constexpr double kOne120th = 0.008333333333333333;
constexpr double kOne720th = 0.001388888888888889;
constexpr double kOne60th = 0.016666666666666666;

}  // namespace

double DmsToDegrees(double degrees, double minutes, double seconds)
{
    return ((seconds * kOne60th) + minutes) * kOne60th + degrees;
}

LatitudeTerms LatitudeTermsOf(double latitude)
{
    const double phi = latitude * kDegToRad;
    return {phi, std::sin(phi), std::cos(phi), std::tan(phi), std::sin(phi * 2.0)};
}

int32_t LatLonToUtm(double lat, double lon, double* easting, double* northing)
{
    return LatLonToUtm(LatitudeTermsOf(lat), lon, easting, northing);
}

int32_t LatLonToUtm(const LatitudeTerms& latitude, double lon, double* easting, double* northing)
{
    // 1. Longitude normalisation into [-180, 180).
    const double u = lon + 180.0;
    const int32_t k = TruncToInt32(u * kOne360th);
    const double lonN = (u - static_cast<double>(static_cast<int64_t>(k) * 360)) - 180.0;

    // 2. Zone: a longitude on a boundary belongs to the zone to its east. Formed
    // in 64 bits and saturated, so that a non-finite longitude cannot overflow.
    const int32_t t = TruncToInt32((lonN + 180.0) * kMinusOneSixth);
    const int32_t zone = TruncToInt32(static_cast<double>(1 - static_cast<int64_t>(t)));

    // 3. Central meridian in integer degrees.
    const double lon0 = static_cast<double>(6 * static_cast<int64_t>(zone) - 183);

    const double phi = latitude.phi;
    const double sinPhi = latitude.sinPhi;
    const double e4 = Square(kE2);
    const double e6 = std::pow(kE2, 3.0);

    const double N = kSemiMajor / std::sqrt(1.0 - (sinPhi * sinPhi) * kE2);
    const double T = Square(latitude.tanPhi);
    const double C = Square(latitude.cosPhi) * kEp2;
    // Whenever the normalisation moved the longitude (from 180 on, and for the last
    // representable value below 180, whose sum with 180 rounds to 360), the
    // normalised longitude enters the difference too, so that 180 gives the zone-1
    // result of -180 instead of a 357-degree difference. Otherwise the argument is
    // used as passed, bit for bit.
    const double lonDiff = (k != 0) ? lonN : lon;
    const double A = latitude.cosPhi * ((lonDiff * kDegToRad) - (lon0 * kDegToRad));

    const double c0 = ((kOneMinusE2Quarter - e4 * 0.046875) - e6 * 0.01953125);
    const double c2 = ((e6 * 0.0439453125) + e4 * 0.09375) + kThreeE2Eighths;
    const double c4 = (e6 * 0.0439453125) + e4 * 0.05859375;
    const double c6 = e6 * 0.011393229166666666;
    const double M = kSemiMajor * ((((c0 * phi) - c2 * latitude.sin2Phi) + c4 * std::sin(phi * 4.0)) -
                                   c6 * std::sin(phi * 6.0));

    const double E5 = (std::pow(A, 5.0) * ((((5.0 - T * 18.0) + C * 72.0) + Square(T)) - k58Ep2)) * kOne120th;
    const double E3 = ((((1.0 - T) + C) * std::pow(A, 3.0)) * kOneSixth) + A;
    *easting = ((E5 + E3) * N) * kK0 + kFalseEasting;

    const double N6 = (std::pow(A, 6.0) * ((((61.0 - T * 58.0) + C * 600.0) + Square(T)) - k330Ep2)) * kOne720th;
    const double N4 = ((((Square(C) * 4.0) + (5.0 - T)) + C * 9.0) * std::pow(A, 4.0)) * kOne24th;
    const double S = (N6 + N4) + Square(A) * 0.5;
    *northing = ((S * (latitude.tanPhi * N)) + M) * kK0;

    return zone;
}
