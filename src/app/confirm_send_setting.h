#pragma once

#include <string>

#include "platform/status.h"

namespace postrider {

// ConfirmSend in the settings file's "Settings" section: 1 (or missing) asks
// "Send 27 messages through smtp.example.net?" before every desktop send run,
// 0 sends at once. Only the desktop program asks, so only it keeps the key.
bool LoadConfirmSend(const std::string& iniPath);
// Writes the key and keeps everything else the file holds.
Status SaveConfirmSend(const std::string& iniPath, bool confirm);

}  // namespace postrider
