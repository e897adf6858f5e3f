// When the headless service tries the feed again: pauses between attempts and the idle limit.
#pragma once

namespace rizuzez {

// A feed silent for this long (seconds) is taken as dead: a base-station port sends lines
// every second while any aircraft is heard, and a half-open connection after a router or
// receiver restart never reports its end.
inline constexpr int FeedIdleTimeoutSeconds = 120;

// A connection attempt that has not completed after this long (seconds) has failed.
inline constexpr int ConnectTimeoutSeconds = 10;

// Pauses between attempts to reach the feed: 1 s after the first failure or loss, doubling
// after each further one up to 60 s; a connection that delivered data starts over at 1 s.
class ReconnectBackoff {
public:
    static constexpr int FirstPauseSeconds = 1;
    static constexpr int MaxPauseSeconds = 60;

    // The pause before the next attempt; the one after it is twice as long (up to the limit).
    int nextPauseSeconds() {
        const int pause = m_next;
        m_next = m_next >= MaxPauseSeconds / 2 ? MaxPauseSeconds : m_next * 2;
        return pause;
    }
    // A good connection: the next loss waits FirstPauseSeconds again.
    void reset() { m_next = FirstPauseSeconds; }

private:
    int m_next = FirstPauseSeconds;
};

} // namespace rizuzez
