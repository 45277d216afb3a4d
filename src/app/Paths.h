#pragma once
#include <string>

namespace tesmar {

// dir + name; when no file of exactly that name exists, the first entry of
// dir whose name matches case-insensitively (names in the data files come from
// a case-insensitive platform). Returns dir + name when nothing matches.
std::string resolveFile(const std::string& dir, const std::string& name);

// True when a regular file of that name exists.
bool fileExists(const std::string& path);

}  // namespace tesmar
