// Blacklist loading.
#include "app/blacklist.h"

#include <fstream>
#include <sstream>

namespace rizuzez {

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
