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

namespace {

bool IsContinuation(unsigned char byte) { return byte >= 0x80 && byte <= 0xbf; }

// How long the UTF-8 sequence at text[i] is, or 0 when none starts there.
std::size_t SequenceLength(std::string_view text, std::size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  const std::size_t length = lead >= 0xc2 && lead <= 0xdf   ? 2
                             : lead >= 0xe0 && lead <= 0xef ? 3
                             : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                            : 0;
  if (length == 0 || i + length > text.size()) return 0;
  // No overlong form (E0 80 9B would be CSI to a lax decoder), surrogate or
  // code point beyond U+10FFFF.
  const auto second = static_cast<unsigned char>(text[i + 1]);
  if ((lead == 0xe0 && second < 0xa0) || (lead == 0xed && second > 0x9f) ||
      (lead == 0xf0 && second < 0x90) || (lead == 0xf4 && second > 0x8f)) {
    return 0;
  }
  for (std::size_t k = 1; k < length; ++k) {
    if (!IsContinuation(static_cast<unsigned char>(text[i + k]))) return 0;
  }
  return length;
}

}  // namespace

std::string PrintableText(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      const bool control = (byte < 0x20 && byte != '\t' && byte != '\n') || byte == 0x7f;
      shown += control ? '?' : text[i];
      ++i;
      continue;
    }
    // The C1 controls (CSI is 0x9B) start escape sequences on terminals too,
    // written as UTF-8 (C2 80 to C2 9F) or as single bytes. Other bytes stay,
    // so that Latin-1 text still reads as it did.
    if (const std::size_t length = SequenceLength(text, i)) {
      const bool c1 = byte == 0xc2 && static_cast<unsigned char>(text[i + 1]) <= 0x9f;
      if (c1) {
        shown += '?';
      } else {
        shown.append(text.substr(i, length));
      }
      i += length;
      continue;
    }
    shown += byte <= 0x9f ? '?' : text[i];
    ++i;
  }
  return shown;
}

std::string ShownReply(const SmtpReply& reply) {
  std::string shown;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = reply.text.find('\n', start);
    // Three digits, as the server sent them ("000", "050").
    const int code = reply.code;
    shown += static_cast<char>('0' + code / 100 % 10);
    shown += static_cast<char>('0' + code / 10 % 10);
    shown += static_cast<char>('0' + code % 10);
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
