// Saving and loading of plot files with atomic replacement and damage checks.
#include "coverage/plotfiles.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace rizuzez {
namespace fs = std::filesystem;

namespace {

bool fileExists(const std::string& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

} // namespace

std::string plotFilePrefix(std::string_view mode, const LocalDateTime& now) {
    if (mode == "date") {
        return "rizuzez1." + formatDate(now) + ".";
    }
    if (mode == "time") {
        return "rizuzez1." + formatDateTimeStamp(now) + ".";
    }
    return "rizuzez1.";
}

std::string dataPath(const std::string& dataDir, const std::string& name) {
    return (fs::path(dataDir) / name).string();
}

namespace {

// Writes bytes to a temporary file beside path and flushes it to the disk; false (with the
// temporary removed) on any failure.
bool writeTemporary(const std::string& tmp, std::string_view bytes) {
    const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    bool ok = true;
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            ok = false;
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok) {
        std::remove(tmp.c_str());
    }
    return ok;
}

// Makes the renames in a folder durable; a failure only weakens that, so it is not reported.
void syncFolderOf(const std::string& path) {
    const std::string dir = fs::path(path).parent_path().string();
    const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

std::string temporaryFor(const std::string& path) {
    return path + ".tmp";
}

} // namespace

bool writeFileAtomically(const std::string& path, std::string_view bytes) {
    const std::string tmp = temporaryFor(path);
    if (!writeTemporary(tmp, bytes)) {
        return false;
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    syncFolderOf(path);
    return true;
}

namespace {

constexpr const char* SetExtensions[] = {"dat", "max", "hex"};

std::string commitMarkerFor(const std::string& dataDir, const std::string& baseName) {
    return dataPath(dataDir, baseName + ".commit");
}

// Creates the marker and flushes it and the folder: from here on the save counts as done.
bool createCommitMarker(const std::string& marker) {
    const int fd = ::open(marker.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    syncFolderOf(marker);
    return ok;
}

} // namespace

bool completeInterruptedSave(const std::string& dataDir, const std::string& baseName) {
    const std::string marker = commitMarkerFor(dataDir, baseName);
    if (!fileExists(marker)) {
        return false;
    }
    for (const char* ext : SetExtensions) {
        const std::string path = dataPath(dataDir, baseName + "." + ext);
        const std::string tmp = temporaryFor(path);
        if (fileExists(tmp)) {
            std::rename(tmp.c_str(), path.c_str());
        }
    }
    syncFolderOf(marker);
    std::remove(marker.c_str());
    return true;
}

SaveResult SavePlotFiles(const Coverage& coverage, const std::string& dataDir,
                         std::string_view mode, const LocalDateTime& now) {
    const std::string prefix = plotFilePrefix(mode, now);
    const std::string baseName = prefix.substr(0, prefix.size() - 1);
    completeInterruptedSave(dataDir, baseName);

    struct Member {
        std::string path;
        std::string_view bytes;
        bool ready = false;
    };
    const std::string hex = coverage.texts.Edit10 + "\r\n";
    Member set[] = {
        {dataPath(dataDir, prefix + "dat"),
         std::string_view(reinterpret_cast<const char*>(&coverage.PlotData), PlotTableBytes)},
        {dataPath(dataDir, prefix + "max"),
         std::string_view(reinterpret_cast<const char*>(&coverage.MaxDistance), MaxDistanceBytes)},
        {dataPath(dataDir, prefix + "hex"), hex},
    };
    // Temporaries left by an uncommitted save must not ride on this one's marker.
    for (Member& m : set) {
        ::unlink(temporaryFor(m.path).c_str());
    }
    bool anyReady = false;
    for (Member& m : set) {
        m.ready = writeTemporary(temporaryFor(m.path), m.bytes);
        anyReady = anyReady || m.ready;
    }
    // The commit point. Without a marker (it could not be created) the renames still run:
    // each file stays whole, only the set loses its all-or-nothing property.
    const std::string marker = commitMarkerFor(dataDir, baseName);
    const bool committed = anyReady && createCommitMarker(marker);
    SaveResult result;
    for (Member& m : set) {
        if (m.ready && std::rename(temporaryFor(m.path).c_str(), m.path.c_str()) != 0) {
            std::remove(temporaryFor(m.path).c_str());
            m.ready = false;
        }
        (m.ready ? result.written : result.failed).push_back(m.path);
    }
    syncFolderOf(set[0].path);
    if (committed) {
        std::remove(marker.c_str());
    }
    return result;
}

bool tableIsSound(const PlotTable& table) {
    for (const auto& band : table) {
        for (const auto& cell : band) {
            if (!std::isfinite(cell.Dist) || cell.Dist < 0.0 || !std::isfinite(cell.Lat) ||
                !std::isfinite(cell.Lon)) {
                return false;
            }
        }
    }
    return true;
}

bool recordIsSound(const TMaxDistance& r) {
    return std::isfinite(r.Dist) && r.Dist >= 0.0 && std::isfinite(r.Trk) && std::isfinite(r.Lat) &&
           std::isfinite(r.Lon) && std::isfinite(r.Alt);
}

namespace {

template <class Record>
PlotFileStatus readRecord(const std::string& path, Record& out, bool (*sound)(const Record&)) {
    if (!fileExists(path)) {
        return PlotFileStatus::Missing;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return PlotFileStatus::Unreadable;
    }
    Record tmp;
    in.read(reinterpret_cast<char*>(&tmp), sizeof(Record));
    if (in.gcount() != static_cast<std::streamsize>(sizeof(Record))) {
        return in.bad() ? PlotFileStatus::Unreadable : PlotFileStatus::Short;
    }
    if (!sound(tmp)) {
        return PlotFileStatus::Damaged;
    }
    std::memcpy(&out, &tmp, sizeof(Record));
    return PlotFileStatus::Ok;
}

} // namespace

PlotFileStatus readPlotTable(const std::string& path, PlotTable& out) {
    return readRecord<PlotTable>(path, out, &tableIsSound);
}

PlotFileStatus readMaxRecord(const std::string& path, TMaxDistance& out) {
    return readRecord<TMaxDistance>(path, out, &recordIsSound);
}

void showLoadedContact(const TMaxDistance& m, ContactTexts& t, char sep) {
    t.Edit5 = formatContactNumber("%6.2f", m.Lat, sep);
    t.Edit6 = formatContactNumber("%7.2f", m.Lon, sep);
    t.Edit7 = formatContactNumber("%5.0f", m.Alt, sep);
    t.Edit8 = formatContactNumber("%5.1f", m.Dist, sep);
    t.Edit9 = formatContactNumber("%5.1f", m.Trk, sep);
}

LoadResult LoadPlotFiles(Coverage& coverage, const std::string& dataDir, std::string_view mode,
                         PlotFileQuestions& questions, char decimalSeparator) {
    LoadResult result;
    std::string base;
    if (!mode.empty()) {
        const std::optional<std::string> chosen = questions.choosePlotFile(dataDir);
        if (!chosen) {
            return result;
        }
        base = fs::path(*chosen).filename().string();
        if (const auto pos = base.find(".max"); pos != std::string::npos) {
            base.erase(pos, 4);
        }
    } else {
        base = "rizuzez1";
    }
    result.baseName = base;
    result.completedInterruptedSave = completeInterruptedSave(dataDir, base);

    const std::string datPath = dataPath(dataDir, base + ".dat");
    if (!fileExists(datPath)) {
        return result;
    }
    if (mode.empty() && !questions.confirmReload()) {
        result.declined = true;
        return result;
    }
    result.found = true;

    PlotTable table;
    const PlotFileStatus dat = readPlotTable(datPath, table);
    if (dat == PlotFileStatus::Ok) {
        coverage.PlotData = table;
        result.datLoaded = true;
    } else {
        result.datDamaged = true;
    }

    const std::string maxPath = dataPath(dataDir, base + ".max");
    if (fileExists(maxPath)) {
        TMaxDistance record;
        if (readMaxRecord(maxPath, record) == PlotFileStatus::Ok) {
            coverage.MaxDistance = record;
            result.maxLoaded = true;
        } else {
            result.maxDamaged = true;
        }
        showLoadedContact(coverage.MaxDistance, coverage.texts, decimalSeparator);
    }

    const std::string hexPath = dataPath(dataDir, base + ".hex");
    if (fileExists(hexPath)) {
        std::ifstream in(hexPath, std::ios::binary);
        if (in) {
            std::string line;
            char c;
            while (line.size() < 4096 && in.get(c) && c != '\r' && c != '\n') {
                line.push_back(c);
            }
            if (!in.bad()) {
                coverage.texts.Edit10 = line;
                result.hexLoaded = true;
            }
        }
    }
    return result;
}

} // namespace rizuzez
