// Line splitting and MSG decoding. Runs for every byte of the feed: keep it lean.
#include "feed/decoder.h"

#include "feed/coord.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace rizuzez {
namespace {

bool isBreak(char c) {
    return c == '\n' || c == '\r';
}

// Position of the first CR or LF in [p, end), or end. One pass over the line, sixteen bytes
// at a time where SSE2 is at hand (every x86-64).
const char* findBreak(const char* p, const char* end) {
#if defined(__SSE2__)
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i cr = _mm_set1_epi8('\r');
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const int hits =
            _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)));
        if (hits != 0) {
            return p + __builtin_ctz(static_cast<unsigned>(hits));
        }
        p += 16;
    }
#endif
    while (p < end && !isBreak(*p)) {
        ++p;
    }
    return p;
}

std::string_view trimControl(std::string_view s) {
    std::size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= 32) {
        ++b;
    }
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= 32) {
        --e;
    }
    return s.substr(b, e - b);
}

// Fields of the working text (the line from its fifth character, at most 255 characters,
// with one comma appended; the end of the text stands for that comma). Text after the last
// comma is never a field. Commas are found sixteen bytes at a time and handed out in order.
class FieldReader {
public:
    explicit FieldReader(std::string_view work) : m_work(work) {}
    std::string_view NextField() {
        if (m_pos > m_work.size()) {
            return {};
        }
        const std::size_t comma = nextComma();
        const std::string_view field = m_work.substr(m_pos, comma - m_pos);
        m_pos = comma + 1;
        return trimControl(field);
    }
    void skip(int n) {
        for (int i = 0; i < n && m_pos <= m_work.size(); ++i) {
            m_pos = nextComma() + 1;
        }
    }

private:
    // The next comma not handed out yet, or the end of the text.
    std::size_t nextComma() {
        while (m_mask == 0) {
            if (m_next >= m_work.size()) {
                return m_work.size();
            }
            m_block = m_next;
            m_mask = commaMask(m_work.data() + m_block, m_work.size() - m_block);
            m_next = m_block + 16;
        }
        const std::size_t at = m_block + static_cast<std::size_t>(__builtin_ctz(m_mask));
        m_mask &= m_mask - 1;
        return at;
    }

    // Bit i set where p[i] is a comma, for the first min(16, n) bytes.
    static unsigned commaMask(const char* p, std::size_t n) {
#if defined(__SSE2__)
        if (n >= 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(','))));
        }
#endif
        unsigned mask = 0;
        for (std::size_t i = 0; i < n && i < 16; ++i) {
            mask |= static_cast<unsigned>(p[i] == ',') << i;
        }
        return mask;
    }

    std::string_view m_work;
    std::size_t m_pos = 0;   // start of the next field
    std::size_t m_block = 0; // start of the block m_mask describes
    std::size_t m_next = 0;  // start of the next block to scan
    unsigned m_mask = 0;     // commas of the current block not handed out yet
};

// Nearest whole number, a tie going to the even one. For 0 <= x < 2^52, adding and taking
// away 2^52 rounds x to a whole number under the default rounding; that covers every course.
double roundHalfEven(double x) {
    constexpr double TwoTo52 = 4503599627370496.0;
    if (x >= 0.0 && x < TwoTo52) {
        return (x + TwoTo52) - TwoTo52;
    }
    return std::nearbyint(x);
}

} // namespace

void Decoder::setHome(double lat, double lon) {
    m_homeLat = lat;
    m_homeLon = lon;
    m_home = HomeTrig(lat, lon);
}

void Decoder::ProcessChunk(std::string_view chunk) {
    if (m_busy) {
        m_queue.push_back({std::string(chunk), false});
        return;
    }
    m_busy = true;
    processOne(chunk);
    drainQueue();
    m_busy = false;
}

void Decoder::DropChunk(std::string_view chunk) {
    if (m_busy) {
        m_queue.push_back({std::string(chunk), true});
        return;
    }
    dropOne(chunk);
}

void Decoder::drainQueue() {
    while (!m_queue.empty()) {
        Queued next = std::move(m_queue.front());
        m_queue.pop_front();
        if (next.reset) {
            m_pending.clear();
            m_skipToBreak = false;
        } else if (next.drop) {
            dropOne(next.text);
        } else {
            processOne(next.text);
        }
    }
}

void Decoder::dropOne(std::string_view chunk) {
    m_pending.clear();
    if (!chunk.empty()) {
        m_skipToBreak = !isBreak(chunk.back());
    }
}

void Decoder::FlushPendingLine() {
    if (!m_skipToBreak && !m_pending.empty()) {
        std::string line;
        line.swap(m_pending);
        handleLine(line);
    }
    m_pending.clear();
    m_skipToBreak = false;
}

void Decoder::ResetPendingLine() {
    if (m_busy) {
        m_queue.push_back({std::string(), false, true});
        return;
    }
    m_pending.clear();
    m_skipToBreak = false;
}

void Decoder::appendPending(std::string_view piece) {
    if (m_skipToBreak) {
        return;
    }
    // Only the first MaxPendingLine bytes of a line are kept, as handleLine keeps them of a
    // line that lies within one chunk: a line decodes alike wherever the chunks are cut.
    m_pending.append(piece.substr(0, MaxPendingLine - m_pending.size()));
}

void Decoder::processOne(std::string_view chunk) {
    const char* p = chunk.data();
    const char* const end = p + chunk.size();
    if (p == end) {
        return;
    }

    // Complete the line that the previous chunk left open.
    if (!m_pending.empty() || m_skipToBreak) {
        const char* brk = findBreak(p, end);
        appendPending(std::string_view(p, static_cast<std::size_t>(brk - p)));
        if (brk == end) {
            return;
        }
        const bool skipped = m_skipToBreak;
        m_skipToBreak = false;
        // Decoded from a second buffer: both keep their capacity from chunk to chunk, and
        // a hook that touches the pending text cannot pull the line from under the decoder.
        m_line.swap(m_pending);
        m_pending.clear();
        if (!skipped) {
            handleLine(m_line);
        }
        p = brk + 1;
    }

    while (p < end) {
        const char* brk = findBreak(p, end);
        if (brk == end) {
            appendPending(std::string_view(p, static_cast<std::size_t>(end - p)));
            return;
        }
        handleLine(std::string_view(p, static_cast<std::size_t>(brk - p)));
        p = brk + 1;
    }
}

void Decoder::handleLine(std::string_view line) {
    line = line.substr(0, MaxPendingLine);
    if (line.size() > 11 && line[0] == 'M' && line[1] == 'S' && line[2] == 'G') {
        DecodeMsgLine(line);
    }
}

void Decoder::DecodeMsgLine(std::string_view line) {
    FieldReader fields(line.size() > 4 ? line.substr(4, 255) : std::string_view{});

    const std::string_view type = fields.NextField();
    if (type != "2" && type != "3") {
        return;
    }
    bump(MsgsThisSecond);
    bump(TotalMsgs);

    fields.skip(2);
    const std::string_view modeS = fields.NextField();
    if (!modeS.empty() && Blacklist.find(modeS) != std::string::npos) {
        return;
    }

    fields.skip(6);
    const std::string_view altText = fields.NextField();
    fields.skip(2);
    const std::string_view latText = fields.NextField();
    const std::string_view lonText = fields.NextField();
    if (altText.empty() || latText.empty() || lonText.empty()) {
        return;
    }

    const double lat = StrToCoord(latText, decimalSeparator);
    if (lat == InvalidValue || lat == 0.0) {
        return;
    }
    const double lon = StrToCoord(lonText, decimalSeparator);
    if (lon == InvalidValue || lon == 0.0) {
        return;
    }
    double alt = StrToCoord(altText, decimalSeparator);
    if (alt == InvalidValue) {
        return;
    }
    if (alt >= 40000.0) {
        alt = 39999.0;
    }
    // alt / 10,000 truncated toward zero, by comparison: for a double alt the rounded
    // quotient reaches a whole number k exactly when alt reaches 10,000 k, so these tests
    // give the truncated quotient wherever it is 0..3 and -1 for everything below (which,
    // far below zero, would not even fit an integer).
    const int band = alt >= 30000.0   ? 3
                     : alt >= 20000.0 ? 2
                     : alt >= 10000.0 ? 1
                     : alt > -10000.0 ? 0
                                      : -1;

    // The course of a position beyond the filter is needed only for the log.
    const bool logging = logIgnored && !IgnoredLog.empty();
    const DistCourse dc = m_home.distCourseTo(
        lat, lon, logging ? std::numeric_limits<double>::infinity() : FilterRange);
    if (dc.distance > FilterRange) {
        bump(IgnoredMsgs);
        if (logIgnored) {
            logIgnoredLine(line, dc.course, dc.distance);
        }
        return;
    }
    if (dc.course == InvalidValue || dc.distance == InvalidValue) {
        return;
    }
    const double bearing = roundHalfEven(dc.course);
    if (!(bearing >= 0.0 && bearing <= 359.0) || band < 0) {
        return;
    }

    Coverage& cov = *m_coverage;
    TPlotPoint& cell = cov.PlotData[band][static_cast<int>(bearing)];
    if (dc.distance > cell.Dist) {
        cell = TPlotPoint{dc.distance, lat, lon};
    }
    if (dc.distance > cov.MaxDistance.Dist) {
        cov.MaxDistance = TMaxDistance{dc.distance, dc.course, lat, lon, alt};
        showContact(modeS);
        if (m_sink) {
            m_sink->furthestContactChanged();
        }
    }
    if (m_sink) {
        m_sink->positionRecorded();
    }
}

void Decoder::showContact(std::string_view modeS) {
    const TMaxDistance& m = m_coverage->MaxDistance;
    ContactTexts& t = m_coverage->texts;
    t.Edit5 = formatContactNumber("%8.4f", m.Lat, decimalSeparator, true);
    t.Edit6 = formatContactNumber("%9.4f", m.Lon, decimalSeparator, true);
    t.Edit7 = formatContactNumber("%5.0f", m.Alt, decimalSeparator, false);
    t.Edit8 = formatContactNumber("%5.1f", m.Dist, decimalSeparator, true);
    t.Edit9 = formatContactNumber("%5.1f", m.Trk, decimalSeparator, true);
    t.Edit10 = std::string(modeS);
}

void Decoder::logIgnoredLine(std::string_view line, double course, double distance) {
    if (IgnoredLog.empty()) {
        return;
    }
    std::FILE* f = std::fopen(IgnoredLog.c_str(), "ab");
    if (!f) {
        return; // a log that cannot be opened loses the line; decoding goes on
    }
    char crs[64], dist[64];
    std::snprintf(crs, sizeof crs, "%5.1f", course);
    std::snprintf(dist, sizeof dist, "%6.1f", distance);
    for (char* s : {crs, dist}) {
        for (char* c = s; *c; ++c) {
            if (*c == '.') {
                *c = decimalSeparator;
            }
        }
    }
    const LocalDateTime now = m_clock ? m_clock->now() : SystemClock().now();
    std::string out = formatLogTimestamp(now);
    out += ";crs=";
    out += crs;
    out += ";dist=";
    out += dist;
    out += ";msg ignored=\"";
    out += line;
    out += "\"\r\n";
    std::fwrite(out.data(), 1, out.size(), f);
    std::fclose(f);
}

} // namespace rizuzez
