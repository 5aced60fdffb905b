#pragma once

#include <cstdio>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace postrider {

// The send log: one block of records per run, appended. A log that cannot be
// written is not written; the run goes on without it, and the first failure
// is kept for the user to hear of once.
class SendLog {
 public:
  SendLog() = default;
  ~SendLog();
  SendLog(const SendLog&) = delete;
  SendLog& operator=(const SendLog&) = delete;

  // Opens for appending and writes the separator and the start record. The
  // file is made readable by its owner only (it holds every address), and a
  // symbolic link at path is refused rather than followed.
  bool Start(const std::string& path, std::time_t now);
  void RecordMessage(std::string_view address, int index, int result);
  // Writes the end record and closes.
  void Finish(std::time_t now);
  bool IsOpen() const { return file_ != nullptr; }

  // The first failure not yet taken, as one line naming the path and the
  // reason; then nothing until another run.
  std::optional<std::string> TakeFailure();

 private:
  void Failed(const std::string& reason);
  void Failed(int error);
  void CheckWritten();

  std::FILE* file_ = nullptr;
  std::string path_;
  std::optional<std::string> failure_;
  bool failureTaken_ = false;
};

// The C library's ctime form, "Tue Dec 08 06:07:58 2026\n", in English
// whatever the locale.
std::string CtimeText(std::time_t time);

}  // namespace postrider
