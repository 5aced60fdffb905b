#include "send/send_log.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>

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

namespace {

// The code point of the UTF-8 sequence at text[i] and its length, or length 0
// where none starts (overlong forms, surrogates and cut sequences included).
struct CodePoint {
  char32_t value = 0;
  std::size_t length = 0;
};

CodePoint DecodeAt(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  const std::size_t length = lead >= 0xc2 && lead <= 0xdf   ? 2
                             : lead >= 0xe0 && lead <= 0xef ? 3
                             : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                            : 0;
  if (length == 0 || i + length > text.size()) return {};
  char32_t value = lead & (0x7f >> length);
  for (std::size_t k = 1; k < length; ++k) {
    const auto byte = static_cast<unsigned char>(text[i + k]);
    if ((byte & 0xc0) != 0x80) return {};
    value = (value << 6) | (byte & 0x3f);
  }
  const char32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
  if (value < least || value > 0x10ffff || (value >= 0xd800 && value <= 0xdfff)) return {};
  return {value, length};
}

// Characters that end a line for some readers, start terminal escapes, or
// show the text around them in another order than it is.
bool IsHiddenControl(char32_t c) {
  return (c >= 0x80 && c <= 0x9f) || c == 0x200e || c == 0x200f || c == 0x2028 ||
         c == 0x2029 || (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

void AppendHex(std::string_view bytes, std::string& out) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    out += "\\x";
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xf];
  }
}

// 0, or errno of the write that failed.
int WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t wrote = ::write(fd, bytes.data(), bytes.size());
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote < 0) return errno;
    if (wrote == 0) return EIO;
    bytes.remove_prefix(static_cast<std::size_t>(wrote));
  }
  return 0;
}

}  // namespace

std::string LoggedAddress(std::string_view address) {
  std::string logged;
  logged.reserve(address.size());
  for (std::size_t i = 0; i < address.size();) {
    const auto byte = static_cast<unsigned char>(address[i]);
    if (byte < 0x80) {
      if (byte == '\\') {
        logged += "\\\\";
      } else if (byte == '\t') {
        logged += "\\t";
      } else if (byte == '\r') {
        logged += "\\r";
      } else if (byte == '\n') {
        logged += "\\n";
      } else if (byte < 0x20 || byte == 0x7f) {
        AppendHex(address.substr(i, 1), logged);
      } else {
        logged += address[i];
      }
      ++i;
      continue;
    }
    const CodePoint point = DecodeAt(address, i);
    const std::size_t length = point.length == 0 ? 1 : point.length;
    if (point.length == 0 || IsHiddenControl(point.value)) {
      AppendHex(address.substr(i, length), logged);
    } else {
      logged.append(address.substr(i, length));
    }
    i += length;
  }
  return logged;
}

SendLog::~SendLog() {
  if (fd_ >= 0) ::close(fd_);
}

void SendLog::Failed(const std::string& reason) {
  if (failure_) return;
  failure_ = "The send log \"" + path_ + "\" cannot be written: " + reason +
             ". This run goes on without it.";
}

void SendLog::Failed(int error) { Failed(DescribeWriteError(error)); }

void SendLog::Write(std::string_view text) {
  if (fd_ < 0) return;
  // One write per record: the file is opened to append, so a record lands
  // whole after whatever another run appended, never inside its line.
  if (const int error = WriteAll(fd_, text); error != 0) {
    Failed(error);
    ::close(fd_);
    fd_ = -1;
  }
}

bool SendLog::Start(const std::string& path, std::time_t now) {
  path_ = path;
  if (Status folder = EnsureParentFolder(path); !folder) {
    Failed(folder.message());
    return false;
  }
  fd_ = OpenFileForAppending(path, 0600);
  if (fd_ < 0) {
    Failed(errno);
    return false;
  }
  // Written now, so a full disk is told of before the run rather than after it.
  Write("\n---------------------------------------------------\nStart Send at " +
        CtimeText(now) + "\n");
  return fd_ >= 0;
}

void SendLog::RecordMessage(std::string_view address, int index, int result) {
  if (fd_ < 0) return;
  // One record per line, naming the address whatever the list held.
  Write(LoggedAddress(address) + "\tIndex=" + std::to_string(index) +
        "\tStatus=" + std::to_string(result) + "\n");
}

void SendLog::Finish(std::time_t now) {
  if (fd_ < 0) return;
  Write("Send Complete at " + CtimeText(now) + "\n\n");
  if (fd_ < 0) return;
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0 && errno != EINTR) Failed(errno);
}

std::optional<std::string> SendLog::TakeFailure() {
  if (!failure_ || failureTaken_) return std::nullopt;
  failureTaken_ = true;
  return failure_;
}

}  // namespace postrider
