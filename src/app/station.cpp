// The station's core object.
#include "app/station.h"

namespace rizuzez {

Station::Station(const Clock& clock) : m_clock(&clock) { decoder.setClock(&clock); }

void Station::setDecimalSeparator(char sep) {
    m_decimalSeparator = sep;
    decoder.decimalSeparator = sep;
}

void Station::IdTelnet1DataAvailable(std::string_view chunk) {
    if (SavingInProgress) {
        decoder.DropChunk(chunk);
    } else {
        decoder.ProcessChunk(chunk);
    }
}

SaveResult Station::savePlotFiles(std::string_view mode) {
    FlagGuard saving(SavingInProgress);
    return SavePlotFiles(coverage, DataDir, mode, m_clock->now());
}

LoadResult Station::loadPlotFiles(std::string_view mode, PlotFileQuestions& questions) {
    FlagGuard saving(SavingInProgress);
    return LoadPlotFiles(coverage, DataDir, mode, questions, m_decimalSeparator);
}

} // namespace rizuzez
