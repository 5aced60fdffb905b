#pragma once

#include <string>

namespace postrider {

// A path with its last three characters replaced, as the project derives the
// entry state file (.prh) and a new letter (.txt) from the project path.
std::string ReplaceLastThree(const std::string& path, const std::string& letters);

// A path stored in a project file, taken relative to the project's folder
// when it is not absolute (an example project travels with its files).
std::string ResolveStoredPath(const std::string& projectPath, const std::string& stored);

// An absolute, lexically normal form of a path the user gave.
std::string AbsolutePath(const std::string& path);

}  // namespace postrider
