// Option parsing for the headless tool.
#include "cli/options.h"

#include "feed/coord.h"
#include "geodesy/trigo.h"

#include <algorithm>
#include <filesystem>

namespace rizuzez::cli {
namespace fs = std::filesystem;

Options::Options(const std::vector<std::string>& args, const std::vector<std::string>& valued,
                 const std::vector<std::string>& flags) {
    auto contains = [](const std::vector<std::string>& v, const std::string& s) {
        return std::find(v.begin(), v.end(), s) != v.end();
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a.size() > 2 && a.rfind("--", 0) == 0) {
            std::string name = a.substr(2);
            std::optional<std::string> inlineValue;
            if (const auto eq = name.find('='); eq != std::string::npos) {
                inlineValue = name.substr(eq + 1);
                name.erase(eq);
            }
            if (contains(valued, name)) {
                if (inlineValue) {
                    m_values[name] = *inlineValue;
                } else if (i + 1 < args.size()) {
                    m_values[name] = args[++i];
                } else {
                    throw UsageError("option --" + name + " needs a value");
                }
            } else if (contains(flags, name) && !inlineValue) {
                m_values[name] = "";
            } else {
                throw UsageError("unknown option " + a);
            }
        } else if (a.size() == 2 && a[0] == '-' && a[1] != '-' && contains(valued, a.substr(1))) {
            if (i + 1 >= args.size()) {
                throw UsageError("option " + a + " needs a value");
            }
            m_values[a.substr(1)] = args[++i];
        } else if (a.size() > 1 && a[0] == '-' && a != "-") {
            throw UsageError("unknown option " + a);
        } else {
            m_positional.push_back(a);
        }
    }
}

bool Options::has(const std::string& name) const { return m_values.count(name) != 0; }

std::optional<std::string> Options::value(const std::string& name) const {
    const auto it = m_values.find(name);
    if (it == m_values.end()) {
        return std::nullopt;
    }
    return it->second;
}

double parseCoordinate(const std::string& text, const std::string& option) {
    const double v = StrToCoord(text, '.');
    if (v == InvalidValue) {
        throw UsageError("--" + option + ": not a number in decimal degrees: '" + text + "'");
    }
    return v;
}

double parseFilter(const std::string& text) {
    if (text == "NEVER" || text == "never") {
        return 999.0;
    }
    const double v = StrToCoord(text, '.');
    if (v == InvalidValue || v <= 0.0) {
        throw UsageError("--filter: expected NEVER or a distance in NM, got '" + text + "'");
    }
    return v;
}

std::string defaultDataDir() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    const fs::path dir = ec ? fs::current_path() : exe.parent_path();
    return (dir / "rizuzez1").string() + "/";
}

void ensureFolder(const std::string& dir) {
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (!fs::is_directory(dir, ec)) {
        throw UsageError("cannot create the data folder " + dir);
    }
}

} // namespace rizuzez::cli
