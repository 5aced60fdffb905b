#pragma once

#include <string>

#include "platform/status.h"

namespace postrider {

// The per-user values that belong to no project, kept in section "Settings"
// of the settings file.
struct UserSettings {
  std::string realName;        // RealName: the sender's display name
  std::string returnAddress;   // ReturnAddress: MAIL FROM and the From: address
  std::string smtpServer;      // SMTPServer: host, host:port or [ipv6]:port
  int log = 0;                 // Log: nonzero appends every send run to the send log
  int currentProjectIdx = -1;  // CurrentProjectIdx: read and written back unchanged
  std::string currentProjectFile;  // CurrentProjectFile: the project opened or saved last

  bool operator==(const UserSettings&) const = default;
};

// Reads the six values; a missing file, section or key gives its default,
// and so does a file that cannot be read.
UserSettings LoadSettings(const std::string& iniPath);

// Writes the six values in one replace of the file, creating its folder, and
// keeps everything else the file holds (the recent-file list above all).
// Values are stored exactly as given. A value the file cannot hold (one with
// a line break) keeps its old value; the others are still written, and the
// result names what was left out.
Status SaveSettings(const std::string& iniPath, const UserSettings& settings);

}  // namespace postrider
