#include "smtp/smtp_wording.h"

namespace postrider {

std::string DurationText(std::chrono::milliseconds duration) {
  const long long ms = duration.count();
  if (ms >= 60000 && ms % 60000 == 0) {
    const long long minutes = ms / 60000;
    return std::to_string(minutes) + (minutes == 1 ? " minute" : " minutes");
  }
  if (ms >= 1000 && ms % 1000 == 0) {
    const long long seconds = ms / 1000;
    return std::to_string(seconds) + (seconds == 1 ? " second" : " seconds");
  }
  return std::to_string(ms) + " ms";
}

std::string PrintableText(std::string_view text) {
  std::string shown(text);
  for (char& c : shown) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\t' && c != '\n') || byte == 0x7f) c = '?';
  }
  return shown;
}

std::string ShownReply(const SmtpReply& reply) {
  std::string shown;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = reply.text.find('\n', start);
    shown += std::to_string(reply.code);
    const std::string_view line = std::string_view(reply.text).substr(
        start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty()) {
      shown += ' ';
      shown += line;
    }
    if (end == std::string::npos) break;
    shown += '\n';
    start = end + 1;
  }
  return PrintableText(shown);
}

std::string JoinLines(const std::vector<std::string>& lines, std::string_view separator) {
  std::string joined;
  for (const std::string& line : lines) {
    if (!joined.empty()) joined += separator;
    joined += line;
  }
  return PrintableText(joined);
}

}  // namespace postrider
