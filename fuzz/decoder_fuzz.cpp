// Fuzzes the decoder with arbitrary bytes cut into arbitrary chunks, drops, flushes and resets.
//
// Input: the bytes are the feed; the fuzzer's choices (station, filter, separator, the chunk
// cuts and the operation at each cut) are taken from the end of the input, the blacklist text
// from its front. Beyond
// the sanitizers, checks that every table invariant holds afterwards and that, without drops
// and resets, the coverage does not depend on where the chunks were cut.
#include "feed/decoder.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace rizuzez;

namespace {

// A broken invariant: named on stderr, then a crash the fuzzer records with its input.
#define require(ok) ((ok) ? void() : broken(#ok, __LINE__))
[[noreturn]] void broken(const char* what, int line) {
    std::fprintf(stderr, "invariant broken at line %d: %s\n", line, what);
    std::abort();
}

// Feeds a short chunk back into the decoder from inside its hook, as a window event loop
// that delivers the next chunk in the middle of the current one would.
struct Reentrant final : FeedSink {
    Decoder* decoder = nullptr;
    int left = 0;
    void positionRecorded() override {
        if (left > 0) {
            --left;
            decoder->ProcessChunk("MSG,3,1,1,ABCDEF,1,,,,,,12000,,,52.5,5.5\r\nMSG,3");
        }
    }
};

struct Setup {
    double lat, lon, filter;
    std::string blacklist;
    char separator;
    bool log;
};

void configure(Decoder& d, const Setup& s) {
    d.setHome(s.lat, s.lon);
    d.FilterRange = s.filter;
    d.Blacklist = s.blacklist;
    d.decimalSeparator = s.separator;
    d.logIgnored = s.log;
    d.IgnoredLog = s.log ? "/dev/null" : "";
}

void checkInvariants(const Coverage& cov, const Decoder& d) {
    require(d.MsgsThisSecond == d.TotalMsgs);
    require(d.IgnoredMsgs >= 0 && d.IgnoredMsgs <= d.TotalMsgs);
    double greatest = 0.0;
    for (const auto& band : cov.PlotData) {
        for (const TPlotPoint& c : band) {
            require(std::isfinite(c.Dist) && c.Dist >= 0.0);
            if (c.Dist > 0.0) {
                require(std::isfinite(c.Lat) && std::isfinite(c.Lon) && c.Lat != 0.0 &&
                        c.Lon != 0.0);
            }
            greatest = std::fmax(greatest, c.Dist);
        }
    }
    // Every recorded position is offered to its cell and to the furthest contact alike.
    require(cov.MaxDistance.Dist == greatest);
    require(cov.MaxDistance.Alt < 40000.0); // 40,000 ft and more are recorded as 39,999
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    static const double Stations[][2] = {{52.0, 5.0},   {34.55, 135.79}, {-33.9, 151.2},
                                         {40.7, -74.0}, {90.0, 0.0},     {-90.0, 10.0},
                                         {0.0, 0.0},    {10.0, 179.95}};
    static const double Filters[] = {999.0, 100.0, 0.0, 1e9, -1.0};
    Setup s{};
    const auto& st = Stations[in.ConsumeIntegralInRange<std::size_t>(0, 7)];
    s.lat = st[0];
    s.lon = st[1];
    if (in.ConsumeBool()) { // any station at all, NaN and infinities included
        s.lat = in.ConsumeFloatingPoint<double>();
        s.lon = in.ConsumeFloatingPoint<double>();
    }
    s.filter = Filters[in.ConsumeIntegralInRange<std::size_t>(0, 4)];
    s.separator = in.ConsumeBool() ? ',' : '.';
    s.log = in.ConsumeBool();
    const bool reentrant = in.ConsumeBool();

    struct Op {
        int kind; // 0 process, 1 drop, 2 flush, 3 reset
        std::size_t length;
    };
    std::vector<Op> ops(in.ConsumeIntegralInRange<std::size_t>(0, 24));
    bool plain = !reentrant;
    for (Op& op : ops) {
        const unsigned k = in.ConsumeIntegralInRange<unsigned>(0, 15);
        op.kind = k < 12 ? 0 : k < 14 ? 1 : static_cast<int>(k - 12); // mostly plain cuts
        op.length = in.ConsumeIntegralInRange<std::size_t>(0, 300);
        plain = plain && op.kind == 0;
    }
    s.blacklist = in.ConsumeBool() ? in.ConsumeRandomLengthString(32) : std::string();
    const std::string feed = in.ConsumeRemainingBytesAsString();

    Coverage cov;
    Decoder d(cov);
    configure(d, s);
    Reentrant sink;
    sink.decoder = &d;
    sink.left = reentrant ? 3 : 0;
    d.setSink(&sink);

    std::string_view rest(feed);
    for (const Op& op : ops) {
        const std::string_view piece = rest.substr(0, std::min(op.length, rest.size()));
        rest.remove_prefix(piece.size());
        switch (op.kind) {
        case 0:
            d.ProcessChunk(piece);
            break;
        case 1:
            d.DropChunk(piece);
            break;
        case 2:
            d.ProcessChunk(piece);
            d.FlushPendingLine();
            break;
        case 3:
            d.ProcessChunk(piece);
            d.ResetPendingLine();
            break;
        }
    }
    d.ProcessChunk(rest);
    d.FlushPendingLine();
    checkInvariants(cov, d);

    if (plain) {
        // The same feed in one piece gives the same coverage, bit for bit.
        Coverage whole;
        Decoder w(whole);
        configure(w, s);
        w.ProcessChunk(feed);
        w.FlushPendingLine();
        require(std::memcmp(&whole.PlotData, &cov.PlotData, sizeof(PlotTable)) == 0);
        require(std::memcmp(&whole.MaxDistance, &cov.MaxDistance, sizeof(TMaxDistance)) == 0);
        require(whole.texts == cov.texts);
        require(w.TotalMsgs == d.TotalMsgs && w.IgnoredMsgs == d.IgnoredMsgs);
    }
    return 0;
}
