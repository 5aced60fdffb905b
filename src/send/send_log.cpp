#include "send/send_log.h"

#include "platform/user_paths.h"

namespace postrider {

std::string CtimeText(std::time_t time) {
  static constexpr const char* kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                            "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm local{};
  localtime_r(&time, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %d\n", kDays[local.tm_wday % 7],
                kMonths[local.tm_mon % 12], local.tm_mday, local.tm_hour, local.tm_min,
                local.tm_sec, local.tm_year + 1900);
  return text;
}

SendLog::~SendLog() {
  if (file_ != nullptr) std::fclose(file_);
}

bool SendLog::Start(const std::string& path, std::time_t now) {
  if (!EnsureParentFolder(path)) return false;
  file_ = std::fopen(path.c_str(), "a");
  if (file_ == nullptr) return false;
  std::fprintf(file_, "\n---------------------------------------------------\n");
  std::fprintf(file_, "Start Send at %s\n", CtimeText(now).c_str());
  return true;
}

void SendLog::RecordMessage(std::string_view address, int index, int result) {
  if (file_ == nullptr) return;
  // One record per line, whatever the list held.
  std::string oneLine(address);
  for (char& c : oneLine) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  std::fprintf(file_, "%s\tIndex=%d\tStatus=%d\n", oneLine.c_str(), index, result);
}

void SendLog::Finish(std::time_t now) {
  if (file_ == nullptr) return;
  std::fprintf(file_, "Send Complete at %s\n\n", CtimeText(now).c_str());
  std::fclose(file_);
  file_ = nullptr;
}

}  // namespace postrider
