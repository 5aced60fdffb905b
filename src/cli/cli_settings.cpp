#include "cli/cli_settings.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <iostream>

#include "platform/profile_file.h"
#include "platform/user_paths.h"

namespace postrider::cli {

const std::string& SettingsChoice::path() const {
  static const std::string userFile = SettingsFilePath();
  return chosen_ ? path_ : userFile;
}

std::optional<UserSettings> LoadCommandSettings(const SettingsChoice& choice) {
  const std::string& path = choice.path();
  struct stat info {};
  if (choice.chosen() && ::stat(path.c_str(), &info) != 0) {
    std::cerr << "postrider-cli: the settings file " << path
              << (errno == ENOENT ? " does not exist" : std::string(" cannot be read: ") +
                                                            std::strerror(errno))
              << '\n';
    return std::nullopt;
  }
  const Result<ProfileFile> profile = ProfileFile::Load(path);
  if (!profile) {
    std::cerr << "postrider-cli: " << profile.status().message() << '\n';
    return std::nullopt;
  }
  return SettingsFrom(*profile);
}

}  // namespace postrider::cli
