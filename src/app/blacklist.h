// The blacklist file: Mode-S IDs (with comments) whose positions are never recorded.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace rizuzez {

// The blacklist text as the decoder searches it: the file's lines without the first five
// (a header), ASCII letters upper-cased, each line followed by CR LF. nullopt when the file
// cannot be read, so callers keep the blacklist they had.
std::optional<std::string> LoadBlacklist(const std::string& path);

// The same rule applied to text already in memory.
std::string blacklistTextFrom(std::string_view fileContents);

// The file written when none exists: four comment lines, an empty line and one example ID
// with a comment, each line ended by CR LF.
extern const std::string_view DefaultBlacklistText;

enum class BlacklistFileState { Existed, Created, Failed };
// Writes DefaultBlacklistText to path unless something already exists there.
BlacklistFileState ensureBlacklistFile(const std::string& path);

} // namespace rizuzez
