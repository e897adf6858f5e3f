// Setting up the data folder.
#include "app/datadir.h"

#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace rizuzez {
namespace fs = std::filesystem;

namespace {

std::string withSeparator(const fs::path& p) {
    std::string s = p.string();
    if (s.empty() || s.back() != '/') {
        s += '/';
    }
    return s;
}

// A folder "takes new files" when a file can be created in it; access() alone would say yes
// to root on a read-only mount.
bool takesFiles(const fs::path& dir) {
    std::string probe = (dir / ".rizuzez-probe-XXXXXX").string();
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) {
        return false;
    }
    ::close(fd);
    ::unlink(probe.c_str());
    return true;
}

struct Prepared {
    bool created = false;
    bool usable = false;
};

Prepared prepare(const fs::path& dir) {
    std::error_code ec;
    if (fs::is_directory(dir, ec)) {
        return {false, takesFiles(dir)};
    }
    if (fs::exists(fs::symlink_status(dir, ec))) {
        return {}; // a file in the way
    }
    if (!fs::create_directories(dir, ec) || ec) {
        return {};
    }
    return {true, takesFiles(dir)};
}

// Moves what it can; a file that is missing or cannot be moved is skipped. Where the old
// folder refuses the removal (read-only), the copy stays and the original is left.
void moveLegacyFiles(const fs::path& from, const fs::path& to, std::vector<std::string>& moved) {
    for (const char* name : LegacyDataFiles) {
        std::error_code ec;
        const fs::path src = from / name;
        const fs::path dst = to / name;
        if (!fs::is_regular_file(src, ec) || fs::exists(fs::symlink_status(dst, ec))) {
            continue;
        }
        fs::rename(src, dst, ec);
        if (ec) {
            ec.clear();
            if (!fs::copy_file(src, dst, fs::copy_options::none, ec) || ec) {
                fs::remove(dst, ec);
                continue;
            }
            fs::remove(src, ec);
        }
        moved.emplace_back(name);
    }
}

DataFolders foldersAt(const fs::path& base, bool beside) {
    DataFolders f;
    f.DataDir = withSeparator(base / "rizuzez1");
    f.outlinesDir = withSeparator(base / "outlines");
    f.besideExecutable = beside;
    return f;
}

} // namespace

DataFolders setUpDataDir(const std::string& exeDir, const std::string& userDataDir) {
    // The folder beside the program first, else the user's; the older files are moved into
    // whichever is set up for the first time.
    auto tryAt = [&](const std::string& base, bool beside) {
        DataFolders f = foldersAt(base, beside);
        const Prepared p = prepare(f.DataDir);
        f.created = p.created;
        f.usable = p.usable;
        if (p.usable && p.created) {
            moveLegacyFiles(exeDir, f.DataDir, f.moved);
        }
        return f;
    };
    DataFolders beside = tryAt(exeDir, true);
    if (beside.usable || userDataDir.empty()) {
        return beside;
    }
    DataFolders user = tryAt(userDataDir, false);
    return user.usable ? user : beside;
}

DataFolders useDataDir(const std::string& dataDir) {
    DataFolders f;
    f.DataDir = withSeparator(dataDir);
    f.outlinesDir = withSeparator(fs::path(dataDir) / "outlines");
    f.besideExecutable = false;
    const Prepared p = prepare(dataDir);
    f.created = p.created;
    f.usable = p.usable;
    return f;
}

} // namespace rizuzez
