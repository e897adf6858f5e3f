// Great-circle distance and course, computed with a 64-bit mantissa (long double on x86-64).
//
// Every intermediate is a long double; the values the algorithm holds as doubles (the
// radian arguments, the routine results, the distance in degrees, the course cosine on the
// western branch) are rounded to double at exactly those points, because stored distances
// are compared byte for byte with other computations of the same formulas.
//
// GCDistance, GCCourse and CalcDistCourse follow the formulas step by step. HomeTrig, which
// the decoder calls for every position, computes the very same values with less work: the
// station's sine and cosine once per run, one sincos where the formulas take the sine and
// cosine of one angle (sin phi2 is even taken twice), the course only when it is wanted, and
// the sign of sin(lambda2 - lambda1) without a sine where the sign is plain. The geodesy test
// holds the two paths to identical bits.
#include "geodesy/trigo.h"

#include <cmath>
#include <math.h>

namespace rizuzez {
namespace {

using ld = long double;

constexpr ld Pi = 3.141592653589793238462643383279502884L;
constexpr ld EqualPointsTolerance = 1e-15L; // degrees
constexpr ld PoleTolerance = 1e-15L;
constexpr ld MinutesPerDegree = 60.0L;

// Degrees to radians as lat * pi / 180, evaluated from left to right, held as a double.
double toRadians(double degrees) {
    return static_cast<double>(static_cast<ld>(degrees) * Pi / 180.0L);
}

// Radians to degrees as x * 180 / pi, from left to right, in extended precision.
ld toDegrees(double radians) {
    return static_cast<ld>(radians) * 180.0L / Pi;
}

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

bool samePoint(double lat1, double lon1, double lat2, double lon2) {
    return std::fabs(static_cast<ld>(lat1) - lat2) < EqualPointsTolerance &&
           std::fabs(static_cast<ld>(lon1) - lon2) < EqualPointsTolerance;
}

// Steps 3 and 4 of GCCourse once X is known: the eastern branch takes arccos X, the western
// one holds X as a double first and takes 2 pi - arccos X.
double courseFromCosine(ld x, bool east) {
    ld result = 0.0L;
    if (east) {
        return arcCos(x, result) ? static_cast<double>(result) : InvalidValue;
    }
    if (!arcCos(static_cast<double>(x), result)) {
        return InvalidValue;
    }
    return static_cast<double>(2.0L * Pi - result);
}

// sin and cos of one argument: glibc's sincosl runs the same reduction and kernels as sinl
// and cosl, once.
void sinCos(ld x, ld& s, ld& c) {
#if defined(__GLIBC__)
    ::sincosl(x, &s, &c);
#else
    s = std::sin(x);
    c = std::cos(x);
#endif
}

// sin(x) < 0. Between -3 and 3 radians the sine has the sign of x (and sinl keeps it, being
// accurate to an ulp); elsewhere the sine is taken.
bool sineNegative(ld x) {
    if (std::fabs(x) < 3.0L) {
        return x < 0.0L;
    }
    return std::sin(x) < 0.0L;
}

} // namespace

double GCDistance(double phi1, double lambda1, double phi2, double lambda2) {
    const ld x = std::sin(static_cast<ld>(phi1)) * std::sin(static_cast<ld>(phi2)) +
                 std::cos(static_cast<ld>(phi1)) * std::cos(static_cast<ld>(phi2)) *
                     std::cos(static_cast<ld>(lambda1) - static_cast<ld>(lambda2));
    ld d = 0.0L;
    if (!std::isfinite(x) || !arcCos(x, d)) {
        return InvalidValue;
    }
    return static_cast<double>(d);
}

double GCCourse(double phi1, double lambda1, double phi2, double lambda2, double d) {
    const ld cosPhi1 = std::cos(static_cast<ld>(phi1));
    if (cosPhi1 < PoleTolerance) {
        return static_cast<double>(phi1 > 0.0 ? Pi : 2.0L * Pi);
    }
    const ld divisor = std::sin(static_cast<ld>(d)) * cosPhi1;
    if (divisor == 0.0L || !std::isfinite(divisor)) {
        return InvalidValue;
    }
    const ld x = (std::sin(static_cast<ld>(phi2)) -
                  std::sin(static_cast<ld>(phi1)) * std::cos(static_cast<ld>(d))) /
                 divisor;
    if (!std::isfinite(x)) {
        return InvalidValue;
    }
    return courseFromCosine(x,
                            std::sin(static_cast<ld>(lambda2) - static_cast<ld>(lambda1)) < 0.0L);
}

DistCourse CalcDistCourse(double lat1, double lon1, double lat2, double lon2) {
    DistCourse out;
    if (samePoint(lat1, lon1, lat2, lon2)) {
        return out;
    }
    const double phi1 = toRadians(lat1), lambda1 = toRadians(-lon1);
    const double phi2 = toRadians(lat2), lambda2 = toRadians(-lon2);
    const double d = GCDistance(phi1, lambda1, phi2, lambda2);
    if (d == InvalidValue) {
        out.distance = InvalidValue;
        out.course = InvalidValue;
        return out;
    }
    const double degrees = static_cast<double>(toDegrees(d));
    const double c = GCCourse(phi1, lambda1, phi2, lambda2, toRadians(degrees));
    out.course = c == InvalidValue ? InvalidValue : static_cast<double>(toDegrees(c));
    out.distance = static_cast<double>(static_cast<ld>(degrees) * MinutesPerDegree);
    return out;
}

HomeTrig::HomeTrig(double lat, double lon)
    : m_lat(lat), m_lon(lon), m_phi1(toRadians(lat)), m_lambda1(toRadians(-lon)),
      m_sinPhi1(std::sin(static_cast<ld>(m_phi1))), m_cosPhi1(std::cos(static_cast<ld>(m_phi1))) {}

DistCourse HomeTrig::distCourseTo(double lat2, double lon2, double courseWithin) const {
    DistCourse out;
    if (samePoint(m_lat, m_lon, lat2, lon2)) {
        return out;
    }
    const double phi2 = toRadians(lat2), lambda2 = toRadians(-lon2);
    ld sinPhi2, cosPhi2;
    sinCos(phi2, sinPhi2, cosPhi2);

    // GCDistance
    const ld x =
        m_sinPhi1 * sinPhi2 +
        m_cosPhi1 * cosPhi2 * std::cos(static_cast<ld>(m_lambda1) - static_cast<ld>(lambda2));
    ld dl = 0.0L;
    if (!std::isfinite(x) || !arcCos(x, dl)) {
        out.distance = InvalidValue;
        out.course = InvalidValue;
        return out;
    }
    const double degrees = static_cast<double>(toDegrees(static_cast<double>(dl)));
    out.distance = static_cast<double>(static_cast<ld>(degrees) * MinutesPerDegree);
    if (out.distance > courseWithin) {
        out.course = std::numeric_limits<double>::quiet_NaN();
        return out;
    }

    // GCCourse with d held as a double
    double c;
    if (m_cosPhi1 < PoleTolerance) {
        c = static_cast<double>(m_phi1 > 0.0 ? Pi : 2.0L * Pi);
    } else {
        ld sinD, cosD;
        sinCos(static_cast<double>(toRadians(degrees)), sinD, cosD);
        const ld divisor = sinD * m_cosPhi1;
        if (divisor == 0.0L || !std::isfinite(divisor)) {
            c = InvalidValue;
        } else {
            const ld cx = (sinPhi2 - m_sinPhi1 * cosD) / divisor;
            c = !std::isfinite(cx) ? InvalidValue
                                   : courseFromCosine(cx, sineNegative(static_cast<ld>(lambda2) -
                                                                       static_cast<ld>(m_lambda1)));
        }
    }
    out.course = c == InvalidValue ? InvalidValue : static_cast<double>(toDegrees(c));
    return out;
}

} // namespace rizuzez
