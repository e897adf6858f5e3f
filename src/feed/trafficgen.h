// Plausible base-station traffic around a station, for trying the program without a receiver.
#pragma once

#include <cstdint>
#include <queue>
#include <string>
#include <vector>

namespace rizuzez {

struct TrafficConfig {
    double homeLat = 0.0, homeLon = 0.0; // the station, decimal degrees, north and east positive
    std::uint64_t seed = 1;              // the same seed gives the same traffic, line for line
    int aircraft = 80;                   // aircraft within reception range at any moment
    std::int64_t startMs = 0; // stamp of the first line, ms since 1970-01-01 (the port's clock)
};

// Simulates aircraft flying great-circle tracks at realistic speeds and altitudes (500 ft to
// FL450) within the reception range of the station, entering and leaving it, and writes what
// a base-station port sends for them: "MSG" lines of transmission types 1 and 3 to 8 with 22
// fields each, in the format of dump1090's BaseStation output. Reception range follows the
// radio horizon (about 40 NM at 500 ft, MaxRangeNm from about 37,000 ft up) and far aircraft
// are heard less often. Deterministic: the lines depend on the configuration alone.
class TrafficGenerator {
public:
    static constexpr double MaxRangeNm = 250.0;

    explicit TrafficGenerator(const TrafficConfig& config);

    // Writes the next line (no line break) into line and returns its time in ms since the
    // start. Times never decrease; the stream never ends.
    std::int64_t next(std::string& line);

    // Aircraft that have appeared so far, those present at the start included.
    std::uint64_t aircraftSeen() const { return m_aircraftSeen; }

    // Reception range (NM) for an aircraft at the given altitude (ft).
    static double rangeAt(double altitudeFt);

private:
    enum Kind : std::uint8_t {
        Ident,
        Position,
        Velocity,
        SurvAlt,
        SurvId,
        AirToAir,
        AllCall,
        KindCount
    };

    struct Aircraft {
        std::uint32_t icao = 0;
        std::uint32_t generation = 0;
        bool adsb = true;        // sends extended squitters (types 1, 3, 4)
        std::string callsign;    // 8 characters, blank-padded
        int squawk = 0;          // four octal digits written as a decimal number
        double lat = 0, lon = 0; // radians
        double course = 0;       // radians, true
        double alt = 0;          // ft
        double vrate = 0;        // ft/min, multiple of 64
        double targetAlt = 0;    // ft, where a climb or descent levels off
        double speedOffset = 0;  // kt, this aircraft's difference from the typical speed
        std::int64_t updatedMs = 0;
        int positionsHeard = 0;
    };

    struct Event {
        std::int64_t timeMs;
        std::uint64_t seq;
        std::uint32_t slot;
        std::uint32_t generation;
        Kind kind;
        bool operator>(const Event& o) const {
            return timeMs != o.timeMs ? timeMs > o.timeMs : seq > o.seq;
        }
    };

    std::uint64_t random();
    double uniform(double lo, double hi);
    void spawn(std::uint32_t slot, std::int64_t nowMs, bool initial);
    void schedule(std::uint32_t slot, Kind kind, std::int64_t afterMs, bool firstTime);
    void advance(Aircraft& a, std::int64_t nowMs) const;
    double distanceFromHome(double lat, double lon) const;
    std::uint32_t nextIcao();
    std::string makeCallsign(bool generalAviation);
    void writeLine(std::string& line, Aircraft& a, Kind kind, std::int64_t timeMs);

    TrafficConfig m_config;
    double m_homeLatRad = 0, m_homeLonRad = 0, m_cosHomeLat = 1;
    std::uint64_t m_state;
    std::uint64_t m_seq = 0;
    std::uint32_t m_icaoCounter = 0;
    std::uint32_t m_icaoKey = 0;
    std::uint64_t m_aircraftSeen = 0;
    std::vector<Aircraft> m_slots;
    std::priority_queue<Event, std::vector<Event>, std::greater<>> m_events;
};

} // namespace rizuzez
