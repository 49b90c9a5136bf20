// Plane grid: transverse Mercator on WGS84 with its central meridian fixed at 9° E,
// by the Coticchia-Surace closed formulas (hyperbolic-arctangent easting, arctangent
// plus meridian-arc series northing). Constants and groupings exactly as stored, so
// map corners and preference points made with them line up to the millimetre.
#include "geo/geo.h"

#include <cmath>

namespace {

constexpr double kA2MinusB2 = 272331609224.64062;       // a^2 - b^2, m^2 (a 6378137, b 6356752.314)
constexpr double kInvA = 1.567855942887398e-07;         // 1 / a
constexpr double kCentralMeridian = 0.1570796;          // 9 x kDegToRad, radians
constexpr double kC1 = 6397033.788554923;               // 0.9996 a^2 / b, metres
constexpr double kAlphaFactor = 0.75;
constexpr double kBetaFactor = 1.666666667;             // written to ten digits, not 5/3
constexpr double kGammaFactor = 1.296296296;            // written to ten digits, not 35/27
constexpr double kThird = 0.3333333333333333;
constexpr double kFalseEasting = 500000.0;

}  // namespace

double HalfLogRatio(double x)
{
    return std::log(std::fabs((x + 1.0) / (x - 1.0))) * 0.5;
}

void LatLonToGrid(double lat, double lon, double* northing, double* easting)
{
    LatLonToGrid(LatitudeTermsOf(lat), lon, northing, easting);
}

void LatLonToGrid(const LatitudeTerms& latitude, double lon, double* northing, double* easting)
{
    const double e = std::sqrt(kA2MinusB2) * kInvA;
    const double e2 = e * e;
    const double ep2 = e2 / (1.0 - e2);

    const double phi = latitude.phi;
    const double dl = (lon * kDegToRad) - kCentralMeridian;
    const double cosPhi = latitude.cosPhi;

    const double A = std::sin(dl) * cosPhi;
    const double xi = HalfLogRatio(A);
    const double eta = std::atan(latitude.tanPhi / std::cos(dl)) - phi;
    const double nu = kC1 / std::sqrt((cosPhi * cosPhi) * ep2 + 1.0);
    const double zeta = (((cosPhi * (e2 * 0.5)) * cosPhi) * xi) * xi;

    const double A1 = latitude.sin2Phi;
    const double A2 = (cosPhi * cosPhi) * A1;
    const double J2 = (A1 * 0.5) + phi;
    const double J4 = ((J2 * 3.0) + A2) * 0.25;
    const double J6 = (((cosPhi * cosPhi) * A2) + (J4 * 5.0)) * kThird;

    const double alpha = ep2 * kAlphaFactor;
    const double beta = (alpha * alpha) * kBetaFactor;
    const double gamma = ((alpha * alpha) * alpha) * kGammaFactor;

    const double B = (((phi - alpha * J2) + beta * J4) - J6 * gamma) * kC1;

    *northing = B + ((zeta + 1.0) * nu) * eta;
    *easting = (((zeta * kThird) + 1.0) * nu) * xi + kFalseEasting;
}
