// Simulated aircraft around a station and the base-station lines a receiver would send for them.
#include "feed/trafficgen.h"

#include "feed/sbsreplay.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <string_view>

namespace rizuzez {
namespace {

constexpr double Pi = std::numbers::pi;
constexpr double Deg = Pi / 180.0;
// One nautical mile is one minute of arc, as everywhere in this program.
constexpr double RadPerNm = Pi / 10800.0;
// Height of the receiving antenna above the terrain (ft), for the radio horizon.
constexpr double AntennaFt = 100.0;

struct Period {
    double meanMs, jitterMs;
};
// How often a receiver hears each kind of message from one aircraft (before range losses):
// position and velocity squitters twice a second, identification every 5 s, replies to
// ground radars and other aircraft every few seconds, all-call replies about once a second.
constexpr std::array<Period, 7> Periods = {{
    {5000, 500},  // Ident, MSG,1
    {500, 100},   // Position, MSG,3
    {500, 100},   // Velocity, MSG,4
    {2500, 1500}, // SurvAlt, MSG,5
    {4000, 2000}, // SurvId, MSG,6
    {3000, 2000}, // AirToAir, MSG,7
    {1000, 500},  // AllCall, MSG,8
}};
constexpr std::array<int, 7> TransmissionType = {1, 3, 4, 5, 6, 7, 8};

constexpr std::array<const char*, 28> Airlines = {"BAW", "DLH", "AFR", "KLM", "RYR", "EZY", "UAE",
                                                  "THY", "SAS", "IBE", "AUA", "SWR", "WZZ", "TAP",
                                                  "ITY", "FIN", "LOT", "CSA", "QTR", "ETD", "UAL",
                                                  "DAL", "AAL", "ACA", "JAL", "ANA", "CPA", "SIA"};
constexpr std::array<const char*, 10> Registrations = {"G",  "D",  "F", "OO", "PH",
                                                       "HB", "EC", "I", "OE", "SE"};

// Typical ground speed (kt) by altitude (ft): light aircraft low down, jets at cruise.
double typicalSpeed(double alt) {
    static constexpr std::array<std::array<double, 2>, 5> table = {
        {{0, 120}, {10000, 280}, {25000, 420}, {35000, 460}, {45000, 470}}};
    if (alt <= table.front()[0]) {
        return table.front()[1];
    }
    for (std::size_t i = 1; i < table.size(); ++i) {
        if (alt <= table[i][0]) {
            const double f = (alt - table[i - 1][0]) / (table[i][0] - table[i - 1][0]);
            return table[i - 1][1] + f * (table[i][1] - table[i - 1][1]);
        }
    }
    return table.back()[1];
}

double normaliseLon(double lon) {
    lon = std::remainder(lon, 2 * Pi);
    return lon <= -Pi ? lon + 2 * Pi : lon;
}

// The point reached from (lat, lon) after an angular distance d on the initial course
// (all radians, east positive), and the course there.
void travel(double& lat, double& lon, double& course, double d) {
    const double sinLat = std::sin(lat), cosLat = std::cos(lat);
    const double lat2 = std::asin(
        std::clamp(sinLat * std::cos(d) + cosLat * std::sin(d) * std::cos(course), -1.0, 1.0));
    const double lon2 = normaliseLon(lon + std::atan2(std::sin(course) * std::sin(d) * cosLat,
                                                      std::cos(d) - sinLat * std::sin(lat2)));
    // The course on arrival is the reverse of the initial course back to the start.
    const double dLon = lon - lon2;
    const double back =
        std::atan2(std::sin(dLon) * cosLat,
                   std::cos(lat2) * sinLat - std::sin(lat2) * cosLat * std::cos(dLon));
    course = std::fmod(back + Pi, 2 * Pi);
    lat = lat2;
    lon = lon2;
}

double initialCourse(double lat1, double lon1, double lat2, double lon2) {
    const double dLon = lon2 - lon1;
    return std::atan2(std::sin(dLon) * std::cos(lat2),
                      std::cos(lat1) * std::sin(lat2) -
                          std::sin(lat1) * std::cos(lat2) * std::cos(dLon));
}

double roundTo(double v, double step) {
    return std::round(v / step) * step;
}

} // namespace

double TrafficGenerator::rangeAt(double altitudeFt) {
    return std::min(MaxRangeNm,
                    1.23 * (std::sqrt(std::max(altitudeFt, 0.0)) + std::sqrt(AntennaFt)));
}

TrafficGenerator::TrafficGenerator(const TrafficConfig& config)
    : m_config(config), m_homeLatRad(config.homeLat * Deg),
      m_homeLonRad(normaliseLon(config.homeLon * Deg)), m_cosHomeLat(std::cos(m_homeLatRad)),
      m_state(config.seed) {
    m_config.aircraft = std::max(1, m_config.aircraft);
    m_icaoKey = static_cast<std::uint32_t>(random() & 0xFFFFFF);
    m_slots.resize(static_cast<std::size_t>(m_config.aircraft));
    for (std::uint32_t i = 0; i < m_slots.size(); ++i) {
        spawn(i, 0, true);
    }
}

// splitmix64: small, fast and the same on every platform, unlike the standard distributions.
std::uint64_t TrafficGenerator::random() {
    std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

double TrafficGenerator::uniform(double lo, double hi) {
    return lo + (hi - lo) * static_cast<double>(random() >> 11) * 0x1.0p-53;
}

// Mode-S addresses from a counter through a bijection of 24 bits: every aircraft of a run has
// its own address until 16.7 million aircraft have come and gone.
std::uint32_t TrafficGenerator::nextIcao() {
    constexpr std::uint32_t Mask = 0xFFFFFF;
    for (;;) {
        std::uint32_t x = ++m_icaoCounter & Mask;
        x = (x * 0x9E3779u) & Mask; // odd multiplier: a permutation modulo 2^24
        x ^= x >> 11;
        x = (x * 0x5BD1E9u) & Mask;
        x ^= m_icaoKey;
        if (x != 0 && x != Mask) {
            return x;
        }
    }
}

std::string TrafficGenerator::makeCallsign(bool generalAviation) {
    std::string cs;
    if (generalAviation) {
        cs = Registrations[random() % Registrations.size()];
        while (cs.size() < 5) {
            cs += static_cast<char>('A' + random() % 26);
        }
    } else {
        cs = Airlines[random() % Airlines.size()];
        const bool letter = random() % 10 < 3;
        const int digits = 1 + static_cast<int>(random() % (letter ? 3 : 4));
        cs += static_cast<char>('1' + random() % 9);
        for (int i = 1; i < digits; ++i) {
            cs += static_cast<char>('0' + random() % 10);
        }
        if (letter) {
            cs += static_cast<char>('A' + random() % 26);
        }
    }
    cs.resize(8, ' ');
    return cs;
}

void TrafficGenerator::spawn(std::uint32_t slot, std::int64_t nowMs, bool initial) {
    Aircraft a;
    a.generation = m_slots[slot].generation + 1;
    a.icao = nextIcao();
    a.adsb = uniform(0, 1) < 0.9; // some aircraft carry Mode S without extended squitter
    a.updatedMs = nowMs;
    ++m_aircraftSeen;

    const bool departure = !initial && uniform(0, 1) < 0.15;
    double distance = 0, bearing = uniform(0, 2 * Pi);
    if (departure) {
        // Off a nearby airfield, climbing out towards cruise.
        a.alt = roundTo(uniform(1000, 3000), 25);
        a.vrate = roundTo(uniform(1500, 3000), 64);
        a.targetAlt = roundTo(uniform(24000, 41000), 1000);
        distance = uniform(2, 15);
        a.course = uniform(0, 2 * Pi);
    } else {
        // A quarter below 10,000 ft, a fifth in each of the two middle bands, the rest at cruise.
        const double u = uniform(0, 1);
        const double lo = u < 0.25 ? 500 : u < 0.45 ? 10000 : u < 0.65 ? 20000 : 30000;
        const double hi = u < 0.25 ? 9999 : u < 0.45 ? 19999 : u < 0.65 ? 29999 : 45000;
        const double p = uniform(0, 1);
        if (p < 0.6) {
            a.alt = std::clamp(roundTo(uniform(lo, hi), lo >= 30000 ? 1000 : 500), lo, hi);
        } else if (p < 0.8) {
            a.alt = roundTo(uniform(lo, hi), 25);
            a.vrate = roundTo(uniform(500, 3000), 64);
            a.targetAlt = std::min(45000.0, roundTo(a.alt + uniform(2000, 15000), 1000));
        } else {
            a.alt = roundTo(uniform(lo, hi), 25);
            a.vrate = -roundTo(uniform(500, 3000), 64);
            a.targetAlt = std::max(1000.0, roundTo(a.alt - uniform(2000, 15000), 1000));
        }
        const double range = rangeAt(a.alt);
        // At the start the sky is already full; later aircraft come in over the horizon.
        distance = initial ? range * 0.98 * std::sqrt(uniform(0, 1)) : range * 0.97;
    }
    a.lat = m_homeLatRad;
    a.lon = m_homeLonRad;
    double outward = bearing;
    travel(a.lat, a.lon, outward, distance * RadPerNm);
    if (!initial && !departure) {
        a.course = initialCourse(a.lat, a.lon, m_homeLatRad, m_homeLonRad) + uniform(-60, 60) * Deg;
    } else if (!departure) {
        a.course = uniform(0, 2 * Pi);
    }
    a.course = std::fmod(a.course + 2 * Pi, 2 * Pi);
    a.speedOffset = uniform(-40, 40);
    const bool ga = a.alt < 10000 && uniform(0, 1) < 0.4;
    a.callsign = makeCallsign(ga);
    if (ga) {
        a.squawk = 7000;
    } else {
        // Four octal digits, none of the 7xxx codes (VFR and emergencies).
        a.squawk = 1 + static_cast<int>(random() % 6);
        for (int i = 0; i < 3; ++i) {
            a.squawk = a.squawk * 10 + static_cast<int>(random() % 8);
        }
    }
    m_slots[slot] = a;
    for (int k = 0; k < KindCount; ++k) {
        const auto kind = static_cast<Kind>(k);
        if (a.adsb || (kind != Ident && kind != Position && kind != Velocity)) {
            schedule(slot, kind, nowMs, true);
        }
    }
}

void TrafficGenerator::schedule(std::uint32_t slot, Kind kind, std::int64_t afterMs,
                                bool firstTime) {
    const Period& p = Periods[kind];
    const double period = p.meanMs + uniform(-p.jitterMs, p.jitterMs);
    const double delay = firstTime ? uniform(0, period) : period;
    m_events.push({afterMs + std::max<std::int64_t>(1, std::llround(delay)), m_seq++, slot,
                   m_slots[slot].generation, kind});
}

void TrafficGenerator::advance(Aircraft& a, std::int64_t nowMs) const {
    const double dtMs = static_cast<double>(nowMs - a.updatedMs);
    if (dtMs <= 0) {
        return;
    }
    a.updatedMs = nowMs;
    if (a.vrate != 0) {
        a.alt += a.vrate * dtMs / 60000.0;
        if ((a.vrate > 0 && a.alt >= a.targetAlt) || (a.vrate < 0 && a.alt <= a.targetAlt)) {
            a.alt = a.targetAlt;
            a.vrate = 0;
        }
    }
    const double speed = std::max(90.0, typicalSpeed(a.alt) + a.speedOffset);
    travel(a.lat, a.lon, a.course, speed * dtMs / 3.6e6 * RadPerNm);
}

// Great-circle distance (NM) from the station by the haversine formula: plain doubles are
// precise to far less than a metre here and much cheaper than the station's own routine.
double TrafficGenerator::distanceFromHome(double lat, double lon) const {
    const double sLat = std::sin((lat - m_homeLatRad) / 2),
                 sLon = std::sin((lon - m_homeLonRad) / 2);
    const double h = sLat * sLat + m_cosHomeLat * std::cos(lat) * sLon * sLon;
    return 2 * std::asin(std::min(1.0, std::sqrt(h))) / RadPerNm;
}

std::int64_t TrafficGenerator::next(std::string& line) {
    for (;;) {
        const Event ev = m_events.top();
        m_events.pop();
        Aircraft& a = m_slots[ev.slot];
        if (ev.generation != a.generation) {
            continue; // an event of an aircraft that has left
        }
        advance(a, ev.timeMs);
        const double range = rangeAt(a.alt);
        const double distance = distanceFromHome(a.lat, a.lon);
        // A small margin keeps the rounded position text inside the range too, whatever the
        // rounding of the station's own (long double) distance computation.
        if (!(distance <= range - 0.01)) {
            spawn(ev.slot, ev.timeMs, false); // gone below the horizon; another comes in
            continue;
        }
        schedule(ev.slot, ev.kind, ev.timeMs, false);
        // Far aircraft are heard less often: 95 % close by, 40 % at the edge of the range.
        const double ratio = distance / range;
        if (uniform(0, 1) >= 0.95 - 0.55 * ratio * ratio) {
            continue;
        }
        writeLine(line, a, ev.kind, ev.timeMs);
        return ev.timeMs;
    }
}

namespace {

// Appends text to a line buffer; the buffer is large enough for any line written here.
class LineWriter {
public:
    explicit LineWriter(char* out) : m_out(out) {}
    char* end() const { return m_out; }
    LineWriter& text(std::string_view s) {
        for (const char c : s) {
            *m_out++ = c;
        }
        return *this;
    }
    LineWriter& integer(long v) {
        if (v < 0) {
            *m_out++ = '-';
            v = -v;
        }
        char digits[20];
        int n = 0;
        do {
            digits[n++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0);
        while (n > 0) {
            *m_out++ = digits[--n];
        }
        return *this;
    }
    // Decimal degrees with five decimals, as "%.5f" writes them.
    LineWriter& degrees(double v) {
        long scaled = std::lround(v * 1e5);
        if (scaled < 0) {
            *m_out++ = '-';
            scaled = -scaled;
        }
        integer(scaled / 100000);
        *m_out++ = '.';
        long frac = scaled % 100000;
        for (int i = 4; i >= 0; --i) {
            m_out[i] = static_cast<char>('0' + frac % 10);
            frac /= 10;
        }
        m_out += 5;
        return *this;
    }
    LineWriter& hex6(std::uint32_t v) {
        for (int i = 5; i >= 0; --i) {
            m_out[i] = "0123456789ABCDEF"[v & 0xF];
            v >>= 4;
        }
        m_out += 6;
        return *this;
    }
    LineWriter& dateTime(std::int64_t ms) {
        m_out = writeSbsDateTime(m_out, ms);
        return *this;
    }

private:
    char* m_out;
};

} // namespace

void TrafficGenerator::writeLine(std::string& line, Aircraft& a, Kind kind, std::int64_t timeMs) {
    const std::int64_t generated = m_config.startMs + timeMs;
    const std::int64_t logged = generated + static_cast<std::int64_t>(random() % 40);
    char buf[256];
    LineWriter w(buf);
    w.text("MSG,").integer(TransmissionType[kind]).text(",1,1,").hex6(a.icao).text(",1,");
    w.dateTime(generated).text(",").dateTime(logged).text(",");
    const long alt = std::lround(a.alt / 25.0) * 25;
    switch (kind) {
    case Ident:
        w.text(a.callsign).text(",,,,,,,,,,,0");
        break;
    case Position:
        // The first position squitter alone cannot be decoded: the lines carry the
        // position once an odd and an even frame have been heard.
        if (a.positionsHeard++ == 0) {
            w.text(",").integer(alt).text(",,,,,,,,,,0");
        } else {
            w.text(",")
                .integer(alt)
                .text(",,,")
                .degrees(a.lat / Deg)
                .text(",")
                .degrees(a.lon / Deg);
            w.text(",,,,,,0");
        }
        break;
    case Velocity: {
        const long speed = std::lround(std::max(90.0, typicalSpeed(a.alt) + a.speedOffset));
        const long track = std::lround(a.course / Deg) % 360;
        w.text(",,").integer(speed).text(",").integer(track).text(",,,");
        w.integer(std::lround(a.vrate)).text(",,,,,0");
        break;
    }
    case SurvAlt:
        w.text(",").integer(alt).text(",,,,,,,0,,0,0");
        break;
    case SurvId: {
        char squawk[5];
        for (int i = 3, v = a.squawk; i >= 0; --i, v /= 10) {
            squawk[i] = static_cast<char>('0' + v % 10);
        }
        w.text(",,,,,,,").text(std::string_view(squawk, 4)).text(",0,0,0,0");
        break;
    }
    case AirToAir:
        w.text(",").integer(alt).text(",,,,,,,,,,0");
        break;
    case AllCall:
    case KindCount:
        w.text(",,,,,,,,,,,0");
        break;
    }
    line.assign(buf, w.end());
}

} // namespace rizuzez
