// The AutoSave menu's check marks: the interval radio group and the three options.
#pragma once

namespace rizuzez {

struct AutoSaveSettings {
    // Radio group: at most one is normally checked ("No auto save" by default).
    bool Noautosave1 = true;
    bool Saveevery1hour1 = false;
    bool Saveevery6hours1 = false;
    bool Saveevery12hours1 = false;
    bool Saveevery24hours1 = false;
    // Options.
    bool Saveplotfile1 = true; // save the plot files on auto-save
    bool SaveOUTfile2 = true;  // save the outline file on auto-save
    bool clear2 = false;       // clear the coverage after each auto-save
    bool operator==(const AutoSaveSettings&) const = default;
};

// Interval of the first checked item among 1, 6, 12 and 24 hours, in days; 0 when none.
inline double autoSaveIntervalDays(const AutoSaveSettings& s) {
    if (s.Saveevery1hour1) {
        return 1.0 / 24.0;
    }
    if (s.Saveevery6hours1) {
        return 0.25;
    }
    if (s.Saveevery12hours1) {
        return 0.5;
    }
    if (s.Saveevery24hours1) {
        return 1.0;
    }
    return 0.0;
}

} // namespace rizuzez
