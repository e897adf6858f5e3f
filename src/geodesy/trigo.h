// Great-circle distance and initial course from the station to a reported position.
#pragma once

#include <limits>

namespace rizuzez {

// Result of a failed computation or conversion; callers compare with it.
inline constexpr double InvalidValue = -999.0;

// Angular distance in radians (0..pi) between two points; latitudes and longitudes in
// radians with longitudes positive towards the west. InvalidValue on failure.
double GCDistance(double phi1, double lambda1, double phi2, double lambda2);

// Initial true course in radians (0..2pi) from point 1 to point 2, d being their angular
// distance; longitudes positive towards the west. InvalidValue on failure. A start point at
// a pole gives pi (north pole) or 2pi (south pole).
double GCCourse(double phi1, double lambda1, double phi2, double lambda2, double d);

struct DistCourse {
    double distance = 0.0; // nautical miles, 0..10800, or InvalidValue
    double course = 0.0;   // degrees, 0..360, or InvalidValue
};

// Distance and initial course from point 1 to point 2 (decimal degrees, east positive).
DistCourse CalcDistCourse(double lat1, double lon1, double lat2, double lon2);

// CalcDistCourse from a fixed point 1 (the station), bit for bit, at about half the cost:
// the station's trigonometry is computed once and the work per target is shared out.
class HomeTrig {
public:
    HomeTrig() = default;
    HomeTrig(double lat, double lon);
    // Distance and course to point 2. When the distance exceeds courseWithin (NM) the course
    // is not computed and reads NaN: a caller that drops such targets unseen saves its cost.
    DistCourse distCourseTo(double lat2, double lon2,
                            double courseWithin = std::numeric_limits<double>::infinity()) const;

private:
    double m_lat = 0.0, m_lon = 0.0;
    double m_phi1 = 0.0, m_lambda1 = 0.0;
    long double m_sinPhi1 = 0.0L, m_cosPhi1 = 1.0L;
};

} // namespace rizuzez
