#pragma once

#include <string>

namespace postrider {

// A path with its last three characters replaced, as the project derives the
// entry state file (.prh) and a new letter (.txt) from the project path.
std::string ReplaceLastThree(const std::string& path, const std::string& letters);

// Where a new letter goes on a project's first save: named after the project,
// unless a file of that name exists (the project's mailing list "june.txt"
// beside "june.prj", the project file itself, a file of the user's); then
// "-letter.txt" (or "-letter2.txt", ...) is added to the project's name
// instead, so nothing is overwritten.
std::string NewLetterPath(const std::string& projectPath, const std::string& listPath);

// How to store a path in the project file: as it was stored before when that
// still names the same file (a relative path stays relative, so a project
// moves with its files), else in full.
std::string StoredPathForm(const std::string& projectPath, const std::string& path,
                           const std::string& storedBefore);

// Where the send journal of a project lies while a run's outcomes are not yet
// saved: beside the project file, "june.prj.journal" for "june.prj".
std::string SendJournalPath(const std::string& projectPath);

// Whether two paths name the same file.
bool SameFile(const std::string& a, const std::string& b);

// A path stored in a project file, taken relative to the project's folder
// when it is not absolute (an example project travels with its files).
std::string ResolveStoredPath(const std::string& projectPath, const std::string& stored);

// An absolute, lexically normal form of a path the user gave.
std::string AbsolutePath(const std::string& path);

}  // namespace postrider
