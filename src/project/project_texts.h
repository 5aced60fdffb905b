#pragma once

// Texts the project document shows the user.
namespace postrider::texts {

inline constexpr const char* kErrorLoadingProject = "Error loading project";
inline constexpr const char* kInvalidDatabaseFileName = "Invalid database file name.";
inline constexpr const char* kInvalidMessageFileName = "Invalid message file name.";

}  // namespace postrider::texts
