#pragma once

// Texts the project document shows the user.
namespace postrider::texts {

inline constexpr const char* kErrorLoadingProject = "Error loading project";
inline constexpr const char* kInvalidDatabaseFileName = "Invalid database file name.";
inline constexpr const char* kInvalidMessageFileName = "Invalid message file name.";
// After the reason a project is read-only.
inline constexpr const char* kOpenedReadOnly =
    "\nIt is opened read-only: you can look at it and preview its messages, but not send, "
    "change or save it. Open it again once that program has closed it.";

}  // namespace postrider::texts
