// "render": the window's radar plot as a PNG file.
#include "cli/options.h"
#include "cli/plotinput.h"
#include "display/qt/qpaintercanvas.h"
#include "display/radarplot.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>

#include <cstdio>

namespace rizuzez::cli {
namespace {

constexpr const char* Help =
    "usage: rizuzez-cli render [--data-dir DIR] [--plot FILE.dat] [--range NM]\n"
    "                          [--band 0|1|2|3|all] [--scale N] -o FILE.png\n"
    "\n"
    "Draws the radar plot of a plot file (FILE.dat, default rizuzez1.dat in the data folder)\n"
    "exactly as the window shows it: 180 x 180 pixels, north up, range rings every 60 NM.\n"
    "\n"
    "  --range NM  distance from the centre to the picture's edge, 60..360 (default 240)\n"
    "  --band B    one altitude band (0..3, drawn in lime) or all (default, yellow)\n"
    "  --scale N   each pixel as an N x N block, 1..16 (default 1)\n";

constexpr int DefaultRange = 240;
constexpr int MaxScale = 16;

int parseInt(const std::string& text, const std::string& option, int lo, int hi) {
    std::size_t used = 0;
    long v = 0;
    try {
        v = std::stol(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || v < lo || v > hi) {
        throw UsageError("--" + option + ": expected a whole number from " + std::to_string(lo) +
                         " to " + std::to_string(hi) + ", got '" + text + "'");
    }
    return static_cast<int>(v);
}

} // namespace

int renderCommand(const std::vector<std::string>& args) {
    const Options opt(args, {"data-dir", "plot", "range", "band", "scale", "o"}, {"help"});
    if (opt.has("help")) {
        std::fputs(Help, stdout);
        return 0;
    }
    if (!opt.positional().empty()) {
        throw UsageError("unexpected argument '" + opt.positional().front() + "'");
    }
    const std::optional<std::string> output = opt.value("o");
    if (!output || output->empty()) {
        throw UsageError("-o FILE.png is required");
    }
    const int range = opt.has("range")
                          ? parseInt(*opt.value("range"), "range", PlotRangeMin, PlotRangeMax)
                          : DefaultRange;
    const int scale = opt.has("scale") ? parseInt(*opt.value("scale"), "scale", 1, MaxScale) : 1;
    const int selector = parseBand(opt);
    try {
        const PlotTable table = loadPlotOption(opt);
        QImage image = makePlotImage(PlotWidth, PlotHeight);
        {
            QPainterCanvas canvas(image);
            DrawRadarPlot(canvas, table, range, selector);
        }
        if (scale > 1) {
            // Nearest neighbour: every pixel of the window's picture becomes a block.
            image = image.scaled(PlotWidth * scale, PlotHeight * scale, Qt::IgnoreAspectRatio,
                                 Qt::FastTransformation);
        }
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (!image.save(&buffer, "PNG")) {
            throw RuntimeFailure("cannot encode the PNG image");
        }
        writeOutput(*output, png.toStdString());
    } catch (const RuntimeFailure& e) {
        std::fprintf(stderr, "rizuzez-cli render: %s\n", e.what());
        return 1;
    }
    return 0;
}

} // namespace rizuzez::cli
