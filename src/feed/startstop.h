// The checks the START button makes on the typed station position, and the ignored-message
// log it prepares.
#pragma once

#include <string>
#include <string_view>

namespace rizuzez {

enum class StartProblem { None, MissingHome, BadLatitude, BadLongitude };

// The operator's message for a problem ("Please add a valid SBS Home Position", ...); empty
// for None.
const char* startProblemText(StartProblem problem);

struct StartRequest {
    std::string_view latText; // "Lat" box
    std::string_view lonText; // "Long" box
    char decimalSeparator = '.';
};

struct StartValues {
    StartProblem problem = StartProblem::None;
    double homeLat = 0.0; // degrees, north positive; InvalidValue when unreadable
    double homeLon = 0.0; // degrees, east positive; set unless the boxes were empty
};

// Checks the typed station position: both boxes filled, both numbers readable (the text
// "-999" counts as unreadable); the latitude is judged first. Any readable number is
// accepted, as typed.
StartValues checkStart(const StartRequest& request);

// Creates the ignored-message log empty when it does not exist; an existing one is left alone.
// False when it does not exist afterwards (folder missing, no write access).
bool createLogIfMissing(const std::string& path);

} // namespace rizuzez
