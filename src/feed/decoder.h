// Decodes base-station text ("MSG" lines) into coverage: counters, blacklist, filter, log.
#pragma once

#include "app/clock.h"
#include "coverage/plotdata.h"
#include "geodesy/trigo.h"

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>

namespace rizuzez {

// What the decoder tells its owner. Both hooks run synchronously in the middle of a chunk;
// positionRecorded may run the window's event loop, and anything (clearing, loading, STOP,
// another chunk) may happen in it: the decoder stays consistent.
class FeedSink {
public:
    virtual ~FeedSink() = default;
    // A position reached the coverage table (whether or not it raised anything).
    virtual void positionRecorded() {}
    // A new furthest contact is in the record and its texts.
    virtual void furthestContactChanged() {}
};

class Decoder {
public:
    // Of a line, only its first MaxPendingLine bytes are kept (decoding reads at most 259 of
    // them; the ignored-message log gets these): a feed without line breaks cannot grow the
    // pending text without bound, and a line decodes alike whatever the chunk boundaries.
    static constexpr std::size_t MaxPendingLine = 4096;

    explicit Decoder(Coverage& coverage) : m_coverage(&coverage) {}

    // Station position (HomeLat, HomeLon) and filter range (NM; 999 for "NEVER").
    void setHome(double lat, double lon);
    double homeLat() const { return m_homeLat; }
    double homeLon() const { return m_homeLon; }
    double FilterRange = 999.0;

    // The blacklist text (upper-cased file without its header); Mode-S IDs found anywhere in
    // it, as substrings, are skipped.
    std::string Blacklist;

    // Ignored-message log: written while logIgnored is true and a log path is bound.
    bool logIgnored = false;
    std::string IgnoredLog;

    // The locale's decimal separator, used to read numbers and to write the log.
    char decimalSeparator = '.';

    void setClock(const Clock* clock) { m_clock = clock; }
    void setSink(FeedSink* sink) { m_sink = sink; }
    void setCoverage(Coverage& coverage) { m_coverage = &coverage; }

    // One received chunk of text. Lines end with LF, CR LF or a lone CR; the text after the
    // last line break is kept and completes the first line of the next chunk. Safe to call
    // again from inside a hook: the new chunk is decoded after the current one.
    void ProcessChunk(std::string_view chunk);
    // A chunk that arrives while files are saved or loaded: dropped unread, with the
    // pending partial line; the next chunk's first piece is skipped unless this one ended
    // on a line break.
    void DropChunk(std::string_view chunk);
    // End of input (a file read to its end): the pending text is a complete last line.
    void FlushPendingLine();
    // A new connection: forget whatever was left of the old one. Called from inside a hook,
    // it takes effect after the chunks already handed over, which belong to the old one.
    void ResetPendingLine();

    // One complete line, without its line break.
    void DecodeMsgLine(std::string_view line);

    std::int32_t TotalMsgs = 0;
    std::int32_t MsgsThisSecond = 0;
    std::int32_t IgnoredMsgs = 0;

private:
    struct Queued {
        std::string text;
        bool drop;
        bool reset = false; // a ResetPendingLine made while busy
    };
    void processOne(std::string_view chunk);
    void dropOne(std::string_view chunk);
    void drainQueue();
    void handleLine(std::string_view line);
    void appendPending(std::string_view piece);
    void logIgnoredLine(std::string_view line, double course, double distance);
    void showContact(std::string_view modeS);

    Coverage* m_coverage;
    const Clock* m_clock = nullptr;
    FeedSink* m_sink = nullptr;
    double m_homeLat = 0.0, m_homeLon = 0.0;
    HomeTrig m_home;
    std::string m_pending;
    std::string m_line; // the completed pending line while it is decoded
    bool m_skipToBreak = false; // discarding the rest of a line cut by a dropped chunk
    bool m_busy = false;
    std::deque<Queued> m_queue;
};

// Increments a 32-bit counter with wrap-around, never undefined behaviour.
inline void bump(std::int32_t& counter) {
    counter = static_cast<std::int32_t>(static_cast<std::uint32_t>(counter) + 1u);
}

} // namespace rizuzez
