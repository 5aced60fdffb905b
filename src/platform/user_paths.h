#pragma once

#include <string>

#include "platform/status.h"

namespace postrider {

// $XDG_CONFIG_HOME/postrider/postrider.ini, or ~/.config/postrider/postrider.ini
// when the variable is unset, empty or not an absolute path.
std::string SettingsFilePath();

// $XDG_STATE_HOME/postrider/postrider.log, or ~/.local/state/postrider/postrider.log
// under the same rule.
std::string SendLogPath();

// A new path for the send journal of a project that has no name yet, under
// $XDG_STATE_HOME/postrider/ by the same rule; unique to this process and call.
std::string NewUntitledSendJournalPath();

// Creates the folder that holds path, and any folders above it, as 0700 (less
// the umask); folders that exist are left as they are. A failure names the
// folder and the reason.
Status EnsureParentFolder(const std::string& path);

}  // namespace postrider
