#include "send/message_date.h"

#include <cstdio>
#include <cstdlib>

namespace postrider {
namespace {

constexpr const char* kDayNames[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr const char* kMonthNames[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

}  // namespace

void AppendMessageDate(const std::tm& time, long utcOffsetSeconds, std::string& out) {
  const long offsetMinutes = std::labs(utcOffsetSeconds) / 60;
  char text[64];
  const int length = std::snprintf(
      text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
      kDayNames[static_cast<unsigned>(time.tm_wday) % 7],
      time.tm_mday, kMonthNames[static_cast<unsigned>(time.tm_mon) % 12],
      time.tm_year + 1900, time.tm_hour, time.tm_min, time.tm_sec,
      utcOffsetSeconds < 0 ? '-' : '+', offsetMinutes / 60 % 100, offsetMinutes % 60);
  if (length > 0) out.append(text, static_cast<std::size_t>(length));
}

void AppendMessageDate(std::time_t when, std::string& out) {
  std::tm local{};
  if (localtime_r(&when, &local) == nullptr) {
    gmtime_r(&when, &local);
    local.tm_gmtoff = 0;
  }
  AppendMessageDate(local, local.tm_gmtoff, out);
}

void MessageDateText::Append(std::time_t when, std::string& out) {
  if (when != second_) {
    text_.clear();
    AppendMessageDate(when, text_);
    second_ = when;
  }
  out += text_;
}

}  // namespace postrider
