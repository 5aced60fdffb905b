#include "platform/user_paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace postrider {
namespace {

constexpr const char* kProgramFolder = "/postrider/";

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') return home;
  if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr) {
    return user->pw_dir;
  }
  return "/";
}

// Relative values are ignored, as the XDG base directory rules require.
std::string XdgFolder(const char* variable, const char* fallbackUnderHome) {
  if (const char* value = std::getenv(variable); value != nullptr && value[0] == '/') return value;
  std::string home = HomeFolder();
  if (home.back() == '/') home.pop_back();
  return home + fallbackUnderHome;
}

}  // namespace

std::string SettingsFilePath() {
  return XdgFolder("XDG_CONFIG_HOME", "/.config") + kProgramFolder + "postrider.ini";
}

std::string SendLogPath() {
  return XdgFolder("XDG_STATE_HOME", "/.local/state") + kProgramFolder + "postrider.log";
}

std::string NewUntitledSendJournalPath() {
  static std::atomic<int> counter{0};
  return XdgFolder("XDG_STATE_HOME", "/.local/state") + kProgramFolder + "untitled-" +
         std::to_string(getpid()) + "-" + std::to_string(std::time(nullptr)) + "-" +
         std::to_string(++counter) + ".journal";
}

Status EnsureParentFolder(const std::string& path) {
  const std::size_t lastSlash = path.rfind('/');
  if (lastSlash == std::string::npos || lastSlash == 0) return Status::Ok();
  const std::string folder = path.substr(0, lastSlash);

  // Create each level in turn, from the top down.
  std::size_t next = 0;
  while (next != std::string::npos) {
    next = folder.find('/', next + 1);
    const std::string level = folder.substr(0, next);
    if (level.empty() || level.back() == '/') continue;
    if (mkdir(level.c_str(), 0700) == 0) continue;
    int error = errno;
    if (error == EEXIST) {
      struct stat info {};
      if (stat(level.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) continue;
      error = ENOTDIR;
    }
    return Status::Error("Cannot create folder \"" + level + "\": " + std::strerror(error));
  }
  return Status::Ok();
}

}  // namespace postrider
