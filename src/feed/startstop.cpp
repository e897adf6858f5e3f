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
    // Both values are taken before either is judged: a refused START still leaves them as
    // the station position, as the operator typed it. No range check: only an unreadable
    // number (or the text -999) is refused.
    v.homeLat = StrToCoord(request.latText, request.decimalSeparator);
    v.homeLon = StrToCoord(request.lonText, request.decimalSeparator);
    if (v.homeLat == InvalidValue) {
        v.problem = StartProblem::BadLatitude;
    } else if (v.homeLon == InvalidValue) {
        v.problem = StartProblem::BadLongitude;
    }
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
