// The START button's checks and values.
#include "feed/startstop.h"

#include "feed/coord.h"
#include "geodesy/trigo.h"

#include <cmath>
#include <cstdio>
#include <filesystem>

namespace rizuzez {

const char* startProblemText(StartProblem problem) {
    switch (problem) {
    case StartProblem::MissingHome:
        return "Please add a valid SBS Home Position";
    case StartProblem::BadLatitude:
        return "Please check your SBS Home Latitude";
    case StartProblem::BadLongitude:
        return "Please check your SBS Home Longitude";
    case StartProblem::None:
        break;
    }
    return "";
}

StartValues checkStart(const StartRequest& request) {
    StartValues v;
    if (request.latText.empty() || request.lonText.empty()) {
        v.problem = StartProblem::MissingHome;
        return v;
    }
    const double lat = StrToCoord(request.latText, request.decimalSeparator);
    const double lon = StrToCoord(request.lonText, request.decimalSeparator);
    // A position off the globe would make every distance and bearing meaningless.
    if (lat == InvalidValue || !(std::fabs(lat) <= 90.0)) {
        v.problem = StartProblem::BadLatitude;
        return v;
    }
    if (lon == InvalidValue || !(std::fabs(lon) <= 180.0)) {
        v.problem = StartProblem::BadLongitude;
        return v;
    }
    v.homeLat = lat;
    v.homeLon = lon;
    return v;
}

bool createLogIfMissing(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        return true;
    }
    std::FILE* f = std::fopen(path.c_str(), "ab");
    if (!f) {
        return false;
    }
    std::fclose(f);
    return true;
}

} // namespace rizuzez
