// Plot files: the coverage table (.dat), furthest contact (.max) and its Mode-S ID (.hex).
#pragma once

#include "app/clock.h"
#include "coverage/plotdata.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace rizuzez {

// The two questions a load may ask. The window answers with message boxes and its file
// dialog, the headless tool from its options, the tests from a table.
class PlotFileQuestions {
public:
    virtual ~PlotFileQuestions() = default;
    // "Do you want to reload the last saved radar plot?" (caption "rizuzez1", Yes/No).
    virtual bool confirmReload() = 0;
    // The open dialog for "*.max" files starting in dataDir; nullopt when cancelled.
    virtual std::optional<std::string> choosePlotFile(const std::string& dataDir) = 0;
};

// Base name prefix, ending with the dot: "rizuzez1." for an empty mode,
// "rizuzez1.yyyy-mm-dd." for "date", "rizuzez1.yyyy-mm-dd.hh-nn." for "time".
std::string plotFilePrefix(std::string_view mode, const LocalDateTime& now);

// Joins the data folder (with or without its trailing separator) and a file name.
std::string dataPath(const std::string& dataDir, const std::string& name);

struct SaveResult {
    std::vector<std::string> written; // full paths
    std::vector<std::string> failed;  // full paths that could not be written (old file kept)
};

// Writes the three files as one set, all or nothing, even when the process is killed or the
// machine loses power at any moment:
//  1. each new file is written to "NAME.ext.tmp" beside its final name and flushed;
//  2. the commit marker "BASE.commit" is created and flushed with the folder: the commit
//     point;
//  3. the temporaries are renamed over the old files (.dat, .max, .hex), the folder flushed;
//  4. the marker is removed.
// Killed before 2, the old set stays as it was (stray temporaries are overwritten by the next
// save); killed after 2, the files may be a mixture of old and new, which the next load or
// save of that set completes to the new set (completeInterruptedSave) before reading or
// writing anything. Each single file is complete at every moment. A file that cannot be
// written does not stop the others (its old copy stays); the files written still replace
// theirs together.
SaveResult SavePlotFiles(const Coverage& coverage, const std::string& dataDir,
                         std::string_view mode, const LocalDateTime& now);

// Finishes a save of the set BASE ("rizuzez1", "rizuzez1.2011-05-06") that was interrupted
// after its commit point: the temporaries still present are complete and are renamed into
// place, then the marker goes. True when there was such a save. Without a marker nothing is
// touched. LoadPlotFiles and SavePlotFiles call it first; a reader of single files calls it
// before reading a set.
bool completeInterruptedSave(const std::string& dataDir, const std::string& baseName);

struct LoadResult {
    std::string baseName;                  // empty when nothing was looked for (dialog cancelled)
    bool completedInterruptedSave = false; // a save killed after its commit was finished first
    bool found = false;    // the .dat exists (and, for the default plot, Yes was answered)
    bool declined = false; // the reload question was answered No
    bool datLoaded = false;
    bool datDamaged = false; // short, unreadable, or holding NaN, infinity or a negative distance
    bool maxLoaded = false;
    bool maxDamaged = false;
    bool hexLoaded = false;
};

// Loads a plot: the default one after confirmReload (empty mode) or one chosen in the dialog
// (any other mode; only the name counts, the files are looked for in dataDir). A damaged .dat
// or .max is skipped as an unreadable one is; the table is never half-replaced.
LoadResult LoadPlotFiles(Coverage& coverage, const std::string& dataDir, std::string_view mode,
                         PlotFileQuestions& questions, char decimalSeparator = '.');

// Reading and checking of single files, shared with the headless tool's info command.
enum class PlotFileStatus { Ok, Missing, Unreadable, Short, Damaged };
PlotFileStatus readPlotTable(const std::string& path, PlotTable& out);
PlotFileStatus readMaxRecord(const std::string& path, TMaxDistance& out);
bool tableIsSound(const PlotTable& table);
bool recordIsSound(const TMaxDistance& record);

// Writes bytes to path through a temporary file and a rename; false on any failure, in
// which case the old file is untouched.
bool writeFileAtomically(const std::string& path, std::string_view bytes);

// The boxes' texts after a load: "%6.2f", "%7.2f", "%5.0f", "%5.1f", "%5.1f", "." as mark.
void showLoadedContact(const TMaxDistance& record, ContactTexts& texts, char decimalSeparator);

} // namespace rizuzez
