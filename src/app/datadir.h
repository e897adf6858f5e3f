// The data folder "rizuzez1" and the outline folder: where they are, their creation, and the
// one-time move of files of the older layout into the data folder.
#pragma once

#include <string>
#include <vector>

namespace rizuzez {

// Files that an older layout kept beside the executable and that move into the data folder
// when it is first created. No other file moves.
inline constexpr const char* LegacyDataFiles[] = {"rizuzez.ini", "rizuzez1.max", "rizuzez1.dat",
                                                  "rizuzez1.log"};

struct DataFolders {
    std::string DataDir;            // base folder + "rizuzez1/", with the trailing separator
    std::string outlinesDir;        // base folder + "outlines/", created by the outline export
    bool besideExecutable = true;   // false: the user data folder is the base
    bool created = false;           // the data folder was created by this call
    bool usable = false;            // the data folder exists and takes new files
    std::vector<std::string> moved; // names moved (or, from a read-only folder, copied) in
};

// The base folder is the executable's folder. When the data folder there is missing it is
// created (with missing parents) and the legacy files are moved in; when it already exists
// nothing moves. When it cannot be created or written (a program installed into a system
// folder), userDataDir becomes the base instead, with the same layout and the same one-time
// move from the executable's folder; an empty userDataDir disables that fallback. When
// neither works, the folder beside the executable is returned unusable: later file
// operations in it fail and the configuration gives its defaults.
DataFolders setUpDataDir(const std::string& exeDir, const std::string& userDataDir);

// A data folder named by the operator (the headless service's --data-dir): used as it is,
// created with missing parents when absent; nothing moves into it, and the outline folder
// is its subfolder "outlines", so that the service keeps everything under one folder.
DataFolders useDataDir(const std::string& dataDir);

} // namespace rizuzez
