#include "cli/text_escape.h"

#include "smtp/smtp_wording.h"

namespace postrider::cli {

std::string EscapeValue(std::string_view value) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(value.size());
  for (const char c : value) {
    const auto byte = static_cast<unsigned char>(c);
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      default:
        if (byte < 0x20) {
          out += "\\x";
          out += kHex[byte >> 4];
          out += kHex[byte & 0x0F];
        } else {
          out += c;
        }
    }
  }
  // A list value's C1 controls (CSI is 0x9B), raw or as UTF-8, would start
  // escape sequences on the terminal; DEL and they show as '?'.
  return PrintableText(out);
}

}  // namespace postrider::cli
