#pragma once

#include <string>

// Texts the project document shows the user.
namespace postrider::texts {

inline constexpr const char* kErrorLoadingProject = "Error loading project";
inline constexpr const char* kInvalidDatabaseFileName = "Invalid database file name.";
inline constexpr const char* kInvalidMessageFileName = "Invalid message file name.";
// After the reason a project is read-only.
inline constexpr const char* kOpenedReadOnly =
    "\nIt is opened read-only: you can look at it and preview its messages, but not send, "
    "change or save it. Open it again once that program has closed it.";

// Asked before a save writes a letter another program has changed since.
// No is the answer that loses nothing.
inline std::string LetterChangedElsewhere(const std::string& path) {
  return "Another program has changed the letter \"" + path +
         "\" since this project read or saved it.\n\nReplace the other program's version with "
         "yours?\n\nNo leaves the file as it is and does not save the project.";
}
// Why the save did not happen, once the user answered No.
inline std::string LetterKeptUnsaved(const std::string& path) {
  return "The project was not saved: the letter \"" + path +
         "\" was changed by another program and has been left as it is.";
}

}  // namespace postrider::texts
