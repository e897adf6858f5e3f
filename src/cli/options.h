// Command-line option parsing and shared helpers of the headless tool.
#pragma once

#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace rizuzez::cli {

// A bad option or input: reported as one line on stderr with exit status 2.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Options of one subcommand: "--name value" pairs, "--flag" switches and positional args.
class Options {
public:
    // valued: options that take a value; flags: switches. Throws UsageError on anything else.
    Options(const std::vector<std::string>& args, const std::vector<std::string>& valued,
            const std::vector<std::string>& flags);
    bool has(const std::string& name) const;
    std::optional<std::string> value(const std::string& name) const;
    const std::vector<std::string>& positional() const { return m_positional; }

private:
    std::map<std::string, std::string> m_values;
    std::vector<std::string> m_positional;
};

// A number in decimal degrees; throws UsageError naming the option.
double parseCoordinate(const std::string& text, const std::string& option);
// "NEVER" or a number of nautical miles.
double parseFilter(const std::string& text);
// The default data folder: "rizuzez1" beside the executable.
std::string defaultDataDir();
// Creates the folder if needed; throws UsageError when it cannot be created.
void ensureFolder(const std::string& dir);

using Command = int (*)(const std::vector<std::string>& args);

} // namespace rizuzez::cli
