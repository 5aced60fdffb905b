#include "send/send_log.h"

#include <unistd.h>

#include <cerrno>

#include "platform/file_open.h"
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

void SendLog::Failed(const std::string& reason) {
  if (failure_) return;
  failure_ = "The send log \"" + path_ + "\" cannot be written: " + reason +
             ". This run goes on without it.";
}

void SendLog::Failed(int error) { Failed(DescribeWriteError(error)); }

void SendLog::CheckWritten() {
  if (file_ == nullptr || std::ferror(file_) == 0) return;
  Failed(errno != 0 ? errno : EIO);
  std::fclose(file_);
  file_ = nullptr;
}

bool SendLog::Start(const std::string& path, std::time_t now) {
  path_ = path;
  if (Status folder = EnsureParentFolder(path); !folder) {
    Failed(folder.message());
    return false;
  }
  const int fd = OpenFileForAppending(path, 0600);
  if (fd < 0) {
    Failed(errno);
    return false;
  }
  file_ = fdopen(fd, "a");
  if (file_ == nullptr) {
    Failed(errno);
    close(fd);
    return false;
  }
  std::fprintf(file_, "\n---------------------------------------------------\n");
  std::fprintf(file_, "Start Send at %s\n", CtimeText(now).c_str());
  // Written now, so a full disk is told of before the run rather than after it.
  std::fflush(file_);
  CheckWritten();
  return file_ != nullptr;
}

void SendLog::RecordMessage(std::string_view address, int index, int result) {
  if (file_ == nullptr) return;
  // One record per line, whatever the list held.
  std::string oneLine(address);
  for (char& c : oneLine) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  std::fprintf(file_, "%s\tIndex=%d\tStatus=%d\n", oneLine.c_str(), index, result);
  CheckWritten();
}

void SendLog::Finish(std::time_t now) {
  if (file_ == nullptr) return;
  std::fprintf(file_, "Send Complete at %s\n\n", CtimeText(now).c_str());
  errno = 0;
  const bool written = std::fflush(file_) == 0 && std::ferror(file_) == 0;
  const int error = errno;
  std::fclose(file_);
  file_ = nullptr;
  if (!written) Failed(error != 0 ? error : EIO);
}

std::optional<std::string> SendLog::TakeFailure() {
  if (!failure_ || failureTaken_) return std::nullopt;
  failureTaken_ = true;
  return failure_;
}

}  // namespace postrider
