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
    v.filterRange = filterRangeFromText(request.filterText, request.decimalSeparator);
    return v;
}

double filterRangeFromText(std::string_view text, char decimalSeparator) {
    if (text == "NEVER") {
        return 999.0;
    }
    const double miles = StrToCoord(text, decimalSeparator);
    return miles == InvalidValue || !(miles > 0.0) ? 999.0 : miles;
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

std::optional<AutoSaveSchedule> scheduleAutoSave(const AutoSaveSettings& settings,
                                                 const LocalDateTime& now, char dateSep,
                                                 char timeSep) {
    if (settings.Noautosave1) {
        return std::nullopt;
    }
    AutoSaveSchedule s;
    s.AutoSaveStart = toDays(now);
    s.NextAutoSave = s.AutoSaveStart + autoSaveIntervalDays(settings);
    s.panelText = nextAutoSaveText(s.NextAutoSave, dateSep, timeSep);
    return s;
}

std::string nextAutoSaveText(double nextAutoSave, char dateSep, char timeSep) {
    return "Next AutoSave: " + formatShortDateTime(fromDays(nextAutoSave), dateSep, timeSep) +
           " LT";
}

} // namespace rizuzez
