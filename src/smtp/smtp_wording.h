#pragma once

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "smtp/smtp_reply_reader.h"

namespace postrider {

// How the SMTP layer words what it tells the user.

// "5 minutes", "20 seconds", "300 ms".
std::string DurationText(std::chrono::milliseconds duration);

// Text from the server (or a list) made safe to show: control characters
// other than TAB and line breaks, and the C1 controls, become '?'.
std::string PrintableText(std::string_view text);

// A reply as the server sent it, one line per line: "554 5.7.1 Relay access denied".
std::string ShownReply(const SmtpReply& reply);

std::string JoinLines(const std::vector<std::string>& lines, std::string_view separator);

}  // namespace postrider
