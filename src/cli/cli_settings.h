#pragma once

#include <optional>
#include <string>

#include "send/user_settings.h"

namespace postrider::cli {

// The settings file a command reads: the user's own, or one --settings names.
class SettingsChoice {
 public:
  void Choose(std::string path) {
    path_ = std::move(path);
    chosen_ = true;
  }
  const std::string& path() const;
  bool chosen() const { return chosen_; }

 private:
  std::string path_;
  bool chosen_ = false;
};

// The settings. A file --settings names must exist and be readable: one that
// does not is reported as missing (nothing, exit 2), not taken for empty
// settings. The user's own file may be missing: then every value is its default.
std::optional<UserSettings> LoadCommandSettings(const SettingsChoice& choice);

}  // namespace postrider::cli
