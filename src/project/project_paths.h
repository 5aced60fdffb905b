#pragma once

#include <string>

namespace postrider {

// A path with its last three characters replaced, as the project derives the
// entry state file (.prh) and a new letter (.txt) from the project path.
std::string ReplaceLastThree(const std::string& path, const std::string& letters);

// Where a new letter goes on a project's first save: named after the project,
// unless that name is the project's mailing list (a list "june.txt" and a
// project "june.prj") or the project file itself; then "-letter.txt" is added
// to the project's name instead, so neither is overwritten.
std::string NewLetterPath(const std::string& projectPath, const std::string& listPath);

// A path stored in a project file, taken relative to the project's folder
// when it is not absolute (an example project travels with its files).
std::string ResolveStoredPath(const std::string& projectPath, const std::string& stored);

// An absolute, lexically normal form of a path the user gave.
std::string AbsolutePath(const std::string& path);

}  // namespace postrider
