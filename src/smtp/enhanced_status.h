#pragma once

#include <optional>
#include <string_view>

namespace postrider {

// An enhanced mail system status code (RFC 3463), "4.7.1": class 2, 4 or 5
// (success, persistent transient failure, permanent failure), subject and
// detail.
struct EnhancedStatus {
  int statusClass = 0;
  int subject = 0;
  int detail = 0;
};

// The code a reply's text starts with (the text after the reply code, as
// SmtpReply keeps it), when it starts with one.
std::optional<EnhancedStatus> EnhancedStatusOf(std::string_view replyText);

}  // namespace postrider
