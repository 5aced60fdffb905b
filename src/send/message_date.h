#pragma once

#include <ctime>
#include <string>

namespace postrider {

// Appends a Date: value as RFC 5322 writes it, "Tue, 08 Dec 2026 06:07:58 +0100",
// in English whatever the locale.
// The local time of `when` with the zone's offset at that time:
void AppendMessageDate(std::time_t when, std::string& out);
// A broken-down time with its offset east of UTC in seconds:
void AppendMessageDate(const std::tm& time, long utcOffsetSeconds, std::string& out);

}  // namespace postrider
