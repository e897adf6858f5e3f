// Recorded base-station text: time stamps and the pace of sending it again.
#include "feed/sbsreplay.h"

#include <array>

namespace rizuzez {
namespace {

constexpr std::int64_t MsPerDay = 86'400'000;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct Civil {
    std::int64_t year;
    unsigned month, day;
};

Civil civilFromDays(std::int64_t z) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

bool isLeap(std::int64_t y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && static_cast<unsigned char>(s.front()) <= 32) {
        s.remove_prefix(1);
    }
    while (!s.empty() && static_cast<unsigned char>(s.back()) <= 32) {
        s.remove_suffix(1);
    }
    return s;
}

// Reads 1..maxDigits decimal digits at pos; false when there are none or too many.
bool readNumber(std::string_view s, std::size_t& pos, std::size_t maxDigits, unsigned& out) {
    const std::size_t start = pos;
    out = 0;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
        if (pos - start == maxDigits) {
            return false;
        }
        out = out * 10 + static_cast<unsigned>(s[pos] - '0');
        ++pos;
    }
    return pos > start;
}

} // namespace

std::optional<std::int64_t> parseSbsDateTime(std::string_view date, std::string_view time) {
    date = trim(date);
    time = trim(time);
    std::size_t p = 0;
    unsigned y = 0, mo = 0, d = 0;
    if (!readNumber(date, p, 4, y) || p != 4 || p >= date.size() ||
        (date[p] != '/' && date[p] != '-')) {
        return std::nullopt;
    }
    const char sep = date[p++];
    if (!readNumber(date, p, 2, mo) || p >= date.size() || date[p++] != sep ||
        !readNumber(date, p, 2, d) || p != date.size()) {
        return std::nullopt;
    }
    static constexpr std::array<unsigned, 12> monthDays = {31, 28, 31, 30, 31, 30,
                                                           31, 31, 30, 31, 30, 31};
    if (y == 0 || mo < 1 || mo > 12 || d < 1 ||
        d > monthDays[mo - 1] + (mo == 2 && isLeap(y) ? 1u : 0u)) {
        return std::nullopt;
    }
    p = 0;
    unsigned h = 0, mi = 0, s = 0;
    if (!readNumber(time, p, 2, h) || p >= time.size() || time[p++] != ':' ||
        !readNumber(time, p, 2, mi) || p >= time.size() || time[p++] != ':' ||
        !readNumber(time, p, 2, s) || h > 23 || mi > 59 || s > 59) {
        return std::nullopt;
    }
    unsigned ms = 0;
    if (p < time.size()) {
        if (time[p++] != '.') {
            return std::nullopt;
        }
        const std::size_t fracStart = p;
        unsigned frac = 0;
        if (!readNumber(time, p, 9, frac) || p != time.size()) {
            return std::nullopt;
        }
        // Keep milliseconds: the first three digits of the fraction.
        ms = 0;
        for (std::size_t i = 0; i < 3; ++i) {
            ms = ms * 10 +
                 (fracStart + i < p ? static_cast<unsigned>(time[fracStart + i] - '0') : 0);
        }
    }
    return daysFromCivil(y, mo, d) * MsPerDay +
           ((static_cast<std::int64_t>(h) * 60 + mi) * 60 + s) * 1000 + ms;
}

char* writeSbsDateTime(char* out, std::int64_t ms) {
    std::int64_t days = ms / MsPerDay;
    std::int64_t rest = ms % MsPerDay;
    if (rest < 0) {
        rest += MsPerDay;
        --days;
    }
    const Civil c = civilFromDays(days);
    auto put = [&out](std::int64_t v, int digits) {
        for (int i = digits - 1; i >= 0; --i) {
            out[i] = static_cast<char>('0' + v % 10);
            v /= 10;
        }
        out += digits;
    };
    put(c.year, 4);
    *out++ = '/';
    put(c.month, 2);
    *out++ = '/';
    put(c.day, 2);
    *out++ = ',';
    put(rest / 3'600'000, 2);
    *out++ = ':';
    put(rest / 60'000 % 60, 2);
    *out++ = ':';
    put(rest / 1000 % 60, 2);
    *out++ = '.';
    put(rest % 1000, 3);
    return out;
}

std::string formatSbsDateTime(std::int64_t ms) {
    char buf[SbsDateTimeLength];
    return std::string(buf, writeSbsDateTime(buf, ms));
}

std::optional<std::int64_t> recordedTimeMs(std::string_view line) {
    // Fields 7 to 10 (1-based) of the comma-separated line.
    std::array<std::string_view, 4> f{};
    std::size_t field = 1, start = 0;
    for (std::size_t i = 0; i <= line.size() && field <= 10; ++i) {
        if (i == line.size() || line[i] == ',') {
            if (field >= 7) {
                f[field - 7] = line.substr(start, i - start);
            }
            ++field;
            start = i + 1;
        }
    }
    if (auto t = parseSbsDateTime(f[0], f[1])) {
        return t;
    }
    return parseSbsDateTime(f[2], f[3]);
}

std::int64_t ReplayPacer::dueMs(std::string_view line) {
    if (m_passPending) {
        m_passPending = false;
        m_due += PassGapMs;
        m_haveBase = false;
    }
    const std::optional<std::int64_t> t = recordedTimeMs(line);
    if (!t) {
        return m_due;
    }
    m_sawTimes = true;
    if (!m_haveBase || *t < m_lastRecorded - MaxBackJumpMs) {
        m_haveBase = true;
        m_baseRecorded = *t;
        m_baseDue = m_due;
        m_lastRecorded = *t;
        return m_due;
    }
    if (*t > m_lastRecorded) {
        m_lastRecorded = *t;
    }
    const std::int64_t due = m_baseDue + (*t - m_baseRecorded);
    if (due > m_due) {
        m_due = due;
    }
    return m_due;
}

void ReplayPacer::newPass() {
    m_passPending = true;
}

void LineSplitter::reset() {
    m_pending.clear();
    m_overlong = false;
    m_afterCr = false;
}

} // namespace rizuzez
