#pragma once

#include <ctime>
#include <limits>
#include <string>

namespace postrider {

// Appends a Date: value as RFC 5322 writes it, "Tue, 08 Dec 2026 06:07:58 +0100",
// in English whatever the locale.
// The local time of `when` with the zone's offset at that time:
void AppendMessageDate(std::time_t when, std::string& out);
// A broken-down time with its offset east of UTC in seconds:
void AppendMessageDate(const std::tm& time, long utcOffsetSeconds, std::string& out);

// The same, worked out once a second: a run stamps many messages within one.
class MessageDateText {
 public:
  void Append(std::time_t when, std::string& out);

 private:
  std::time_t second_ = std::numeric_limits<std::time_t>::min();
  std::string text_;
};

}  // namespace postrider
