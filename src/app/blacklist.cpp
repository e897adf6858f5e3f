// Blacklist loading.
#include "app/blacklist.h"

#include "coverage/plotfiles.h"

#include <filesystem>
#include <fstream>
#include <sstream>

namespace rizuzez {

const std::string_view DefaultBlacklistText =
    "//Rizuzez Blacklist - just add blacklisted airplane mode-s ids below, one per line\r\n"
    "//comments may be added behind the mode-s id freely (no re-use of mode-s id).\r\n"
    "//use upper or lower case as you like\r\n"
    "//Do not change these first 4 lines\r\n"
    "\r\n"
    "400c7d  //the famous G-STRI, the mother of all spikes\r\n";

BlacklistFileState ensureBlacklistFile(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
        return BlacklistFileState::Existed;
    }
    return writeFileAtomically(path, DefaultBlacklistText) ? BlacklistFileState::Created
                                                           : BlacklistFileState::Failed;
}

std::string blacklistTextFrom(std::string_view contents) {
    std::string out;
    int lineNo = 0;
    std::size_t i = 0;
    while (i < contents.size()) {
        std::size_t end = contents.find_first_of("\r\n", i);
        if (end == std::string_view::npos) {
            end = contents.size();
        }
        if (lineNo >= 5) {
            for (std::size_t k = i; k < end; ++k) {
                const char c = contents[k];
                out.push_back(c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c);
            }
            out += "\r\n";
        }
        ++lineNo;
        i = end;
        if (i < contents.size() && contents[i] == '\r') {
            ++i;
            if (i < contents.size() && contents[i] == '\n') {
                ++i;
            }
        } else if (i < contents.size()) {
            ++i;
        }
    }
    return out;
}

std::optional<std::string> LoadBlacklist(const std::string& path) {
    // A folder or device in place of the file is as unreadable as a missing file.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream ss;
    ss << in.rdbuf();
    if (in.bad()) {
        return std::nullopt;
    }
    return blacklistTextFrom(ss.str());
}

} // namespace rizuzez
