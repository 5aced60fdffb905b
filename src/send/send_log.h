#pragma once

#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>

namespace postrider {

// The send log: one block of records per run, appended. A log that cannot be
// opened is not written; the run goes on without it.
class SendLog {
 public:
  SendLog() = default;
  ~SendLog();
  SendLog(const SendLog&) = delete;
  SendLog& operator=(const SendLog&) = delete;

  // Opens for appending and writes the separator and the start record.
  bool Start(const std::string& path, std::time_t now);
  void RecordMessage(std::string_view address, int index, int result);
  // Writes the end record and closes.
  void Finish(std::time_t now);
  bool IsOpen() const { return file_ != nullptr; }

 private:
  std::FILE* file_ = nullptr;
};

// The C library's ctime form, "Tue Dec 08 06:07:58 2026\n", in English
// whatever the locale.
std::string CtimeText(std::time_t time);

}  // namespace postrider
