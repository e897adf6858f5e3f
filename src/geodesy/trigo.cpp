// Great-circle distance and course, computed with a 64-bit mantissa (long double on x86-64).
//
// Every intermediate is a long double; the values the algorithm holds as doubles (the
// radian arguments, the routine results, the distance in degrees, the course cosine on the
// western branch) are rounded to double at exactly those points, because stored distances
// are compared byte for byte with other computations of the same formulas.
#include "geodesy/trigo.h"

#include <cmath>

namespace rizuzez {
namespace {

using ld = long double;

constexpr ld Pi = 3.141592653589793238462643383279502884L;
constexpr ld EqualPointsTolerance = 1e-15L; // degrees
constexpr ld PoleTolerance = 1e-15L;
constexpr ld MinutesPerDegree = 60.0L;

// arccos as the two-argument arc tangent of sqrt(1 - x^2) and x; false when 1 - x^2 is
// negative (x pushed beyond +-1 by rounding) or not a number.
bool arcCos(ld x, ld& result) {
    const ld radicand = 1.0L - x * x;
    if (!(radicand >= 0.0L)) {
        return false;
    }
    result = std::atan2(std::sqrt(radicand), x);
    return std::isfinite(result);
}

double gcDistanceTrig(ld sinPhi1, ld cosPhi1, double phi2, double lambda1, double lambda2) {
    const ld x = sinPhi1 * std::sin(static_cast<ld>(phi2)) +
                 cosPhi1 * std::cos(static_cast<ld>(phi2)) *
                     std::cos(static_cast<ld>(lambda1) - static_cast<ld>(lambda2));
    ld d = 0.0L;
    if (!std::isfinite(x) || !arcCos(x, d)) {
        return InvalidValue;
    }
    return static_cast<double>(d);
}

double gcCourseTrig(double phi1, ld sinPhi1, ld cosPhi1, double lambda1, double phi2,
                    double lambda2, double d) {
    if (cosPhi1 < PoleTolerance) {
        return static_cast<double>(phi1 > 0.0 ? Pi : 2.0L * Pi);
    }
    const ld dl = d;
    const ld divisor = std::sin(dl) * cosPhi1;
    if (divisor == 0.0L || !std::isfinite(divisor)) {
        return InvalidValue;
    }
    const ld x = (std::sin(static_cast<ld>(phi2)) - sinPhi1 * std::cos(dl)) / divisor;
    if (!std::isfinite(x)) {
        return InvalidValue;
    }
    ld result = 0.0L;
    if (std::sin(static_cast<ld>(lambda2) - static_cast<ld>(lambda1)) < 0.0L) {
        if (!arcCos(x, result)) {
            return InvalidValue;
        }
    } else {
        const double held = static_cast<double>(x);
        if (!arcCos(held, result)) {
            return InvalidValue;
        }
        result = 2.0L * Pi - result;
    }
    return static_cast<double>(result);
}

double toRadians(double degrees) { return static_cast<double>(static_cast<ld>(degrees) * Pi / 180.0L); }

DistCourse distCourse(double lat1, double lon1, double phi1, double lambda1, ld sinPhi1,
                      ld cosPhi1, double lat2, double lon2) {
    DistCourse out;
    if (std::fabs(static_cast<ld>(lat1) - lat2) < EqualPointsTolerance &&
        std::fabs(static_cast<ld>(lon1) - lon2) < EqualPointsTolerance) {
        return out;
    }
    const double phi2 = toRadians(lat2);
    const double lambda2 = toRadians(-lon2);
    const double d = gcDistanceTrig(sinPhi1, cosPhi1, phi2, lambda1, lambda2);
    if (d == InvalidValue) {
        out.distance = InvalidValue;
        out.course = InvalidValue;
        return out;
    }
    const double degrees = static_cast<double>(static_cast<ld>(d) * 180.0L / Pi);
    const double dRad = static_cast<double>(static_cast<ld>(degrees) * Pi / 180.0L);
    const double c = gcCourseTrig(phi1, sinPhi1, cosPhi1, lambda1, phi2, lambda2, dRad);
    out.course = c == InvalidValue ? InvalidValue
                                   : static_cast<double>(static_cast<ld>(c) * 180.0L / Pi);
    out.distance = static_cast<double>(static_cast<ld>(degrees) * MinutesPerDegree);
    return out;
}

} // namespace

double GCDistance(double phi1, double lambda1, double phi2, double lambda2) {
    const ld p1 = phi1;
    return gcDistanceTrig(std::sin(p1), std::cos(p1), phi2, lambda1, lambda2);
}

double GCCourse(double phi1, double lambda1, double phi2, double lambda2, double d) {
    const ld p1 = phi1;
    return gcCourseTrig(phi1, std::sin(p1), std::cos(p1), lambda1, phi2, lambda2, d);
}

DistCourse CalcDistCourse(double lat1, double lon1, double lat2, double lon2) {
    const double phi1 = toRadians(lat1);
    const ld p1 = phi1;
    return distCourse(lat1, lon1, phi1, toRadians(-lon1), std::sin(p1), std::cos(p1), lat2,
                      lon2);
}

HomeTrig::HomeTrig(double lat, double lon)
    : m_lat(lat), m_lon(lon), m_phi1(toRadians(lat)), m_lambda1(toRadians(-lon)),
      m_sinPhi1(std::sin(static_cast<ld>(m_phi1))), m_cosPhi1(std::cos(static_cast<ld>(m_phi1))) {}

DistCourse HomeTrig::distCourseTo(double lat2, double lon2) const {
    return distCourse(m_lat, m_lon, m_phi1, m_lambda1, m_sinPhi1, m_cosPhi1, lat2, lon2);
}

} // namespace rizuzez
