// Recorded base-station text: its time stamps, its lines and the pace at which to send them again.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rizuzez {

// Milliseconds since 1970-01-01 00:00 of an SBS date ("yyyy/mm/dd", also "yyyy-mm-dd") and
// time ("hh:mm:ss" with an optional fraction of up to 9 digits, kept to the millisecond).
// The time zone is whatever the recording used; only differences matter. nullopt when either
// text is empty or not a valid date or time.
std::optional<std::int64_t> parseSbsDateTime(std::string_view date, std::string_view time);

// "yyyy/mm/dd,hh:mm:ss.fff" of a count of milliseconds since 1970-01-01 00:00 (two fields),
// for years 0 to 9999.
std::string formatSbsDateTime(std::int64_t ms);
// The same written to out (SbsDateTimeLength characters, no terminator); returns the end.
inline constexpr std::size_t SbsDateTimeLength = 23;
char* writeSbsDateTime(char* out, std::int64_t ms);

// The recorded time of an "MSG" line: the generated date and time (fields 7 and 8), else the
// logged date and time (fields 9 and 10); nullopt when neither pair is readable.
std::optional<std::int64_t> recordedTimeMs(std::string_view line);

// Cuts text that arrives in pieces into lines. A line ends at LF, CR LF or a lone CR; empty
// lines are dropped (a base-station port never sends them, and LF CR pairs would make them).
// A line longer than MaxLine bytes is dropped whole and counted, so that a file without
// line breaks cannot take unbounded memory.
class LineSplitter {
public:
    static constexpr std::size_t MaxLine = 64 * 1024;

    // Calls emit(line) for every line completed by the piece, without its line break.
    template <typename Emit> void feed(std::string_view piece, Emit&& emit);
    // End of input: what follows the last line break is a complete last line.
    template <typename Emit> void finish(Emit&& emit);
    void reset();
    std::uint64_t droppedLines() const { return m_dropped; }

private:
    std::string m_pending;
    bool m_overlong = false;
    bool m_afterCr = false; // the previous piece ended on CR: an LF now completes the pair
    std::uint64_t m_dropped = 0;
};

// Turns recorded times into the times at which the lines are due again, in milliseconds of
// stream time from the first line (0). Due times never decrease: a line recorded slightly
// earlier than the one before it (receivers stamp messages out of order) goes out right
// after it; a line without a time goes out with the previous one; a jump back by more than
// MaxBackJumpMs (files joined together, a day without dates) continues from the previous line.
class ReplayPacer {
public:
    static constexpr std::int64_t MaxBackJumpMs = 1000;
    // Pause between two passes over a file that is served in a loop (ms of stream time).
    static constexpr std::int64_t PassGapMs = 1000;

    std::int64_t dueMs(std::string_view line);
    // The file starts again: its first lines follow the previous pass after PassGapMs.
    void newPass();
    bool sawTimes() const { return m_sawTimes; }

private:
    std::int64_t m_due = 0;
    bool m_haveBase = false;
    std::int64_t m_baseRecorded = 0, m_baseDue = 0, m_lastRecorded = 0;
    bool m_passPending = false;
    bool m_sawTimes = false;
};

template <typename Emit> void LineSplitter::feed(std::string_view piece, Emit&& emit) {
    std::size_t start = 0;
    if (m_afterCr && !piece.empty() && piece.front() == '\n') {
        start = 1;
    }
    m_afterCr = false;
    for (std::size_t i = start; i < piece.size(); ++i) {
        const char c = piece[i];
        if (c != '\n' && c != '\r') {
            continue;
        }
        const std::string_view part = piece.substr(start, i - start);
        if (m_overlong) {
            m_overlong = false;
        } else if (m_pending.empty()) {
            if (part.size() > MaxLine) {
                ++m_dropped;
            } else if (!part.empty()) {
                emit(part);
            }
        } else {
            m_pending.append(part);
            if (m_pending.size() > MaxLine) {
                ++m_dropped;
            } else {
                emit(std::string_view(m_pending));
            }
            m_pending.clear();
        }
        if (c == '\r') {
            if (i + 1 < piece.size() && piece[i + 1] == '\n') {
                ++i;
            } else if (i + 1 == piece.size()) {
                m_afterCr = true;
            }
        }
        start = i + 1;
    }
    if (start < piece.size() && !m_overlong) {
        m_pending.append(piece.substr(start));
        if (m_pending.size() > MaxLine) {
            ++m_dropped;
            m_pending.clear();
            m_overlong = true;
        }
    }
}

template <typename Emit> void LineSplitter::finish(Emit&& emit) {
    if (!m_pending.empty() && !m_overlong) {
        emit(std::string_view(m_pending));
    }
    reset();
}

} // namespace rizuzez
