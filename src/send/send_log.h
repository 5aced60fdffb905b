#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace postrider {

// The send log: one block of records per run, appended. A log that cannot be
// written is not written; the run goes on without it, and the first failure
// is kept for the user to hear of once. Each record goes to the file in one
// write as it is made, so two runs appending at once never split a line.
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
  bool IsOpen() const { return fd_ >= 0; }

  // The first failure not yet taken, as one line naming the path and the
  // reason; then nothing until another run.
  std::optional<std::string> TakeFailure();

 private:
  void Failed(const std::string& reason);
  void Failed(int error);
  void Write(std::string_view text);

  int fd_ = -1;
  std::string path_;
  std::optional<std::string> failure_;
  bool failureTaken_ = false;
};

// The C library's ctime form, "Tue Dec 08 06:07:58 2026\n", in English
// whatever the locale.
std::string CtimeText(std::time_t time);

// An address as the log writes it: one line, no terminal control, and still
// naming exactly the bytes it was. Backslash, TAB, CR and LF become \\ \t
// \r \n; other controls, DEL, the C1 controls, line and paragraph
// separators, bidirectional overrides and bytes that are not UTF-8 become
// \xHH, byte by byte.
std::string LoggedAddress(std::string_view address);

}  // namespace postrider
