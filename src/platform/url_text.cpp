#include "platform/url_text.h"

#include "platform/ascii_text.h"

namespace postrider {
namespace {

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '-' || c == '.' || c == '_' || c == '~';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '+') {
      out += ' ';
    } else if (c == '%') {
      if (i + 2 >= text.size()) return std::nullopt;
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high < 0 || low < 0) return std::nullopt;
      out += static_cast<char>(high * 16 + low);
      i += 2;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string PercentEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size() * 3);
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (IsUnreserved(byte)) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
  return out;
}

std::string FormEncode(const std::vector<std::pair<std::string, std::string>>& fields) {
  std::string out;
  for (const auto& [name, value] : fields) {
    if (!out.empty()) out += '&';
    out += PercentEncode(name);
    out += '=';
    out += PercentEncode(value);
  }
  return out;
}

std::optional<std::map<std::string, std::string>> ParseQuery(std::string_view query) {
  std::map<std::string, std::string> fields;
  while (!query.empty()) {
    const std::size_t end = query.find('&');
    const std::string_view pair = query.substr(0, end);
    query = end == std::string_view::npos ? std::string_view() : query.substr(end + 1);
    if (pair.empty()) continue;
    const std::size_t equals = pair.find('=');
    std::optional<std::string> name = PercentDecode(pair.substr(0, equals));
    std::optional<std::string> value =
        equals == std::string_view::npos ? std::string() : PercentDecode(pair.substr(equals + 1));
    if (!name || !value) return std::nullopt;
    fields.emplace(std::move(*name), std::move(*value));
  }
  return fields;
}

bool IsHttpsUrl(std::string_view url) {
  constexpr std::string_view kScheme = "https://";
  if (url.size() <= kScheme.size()) return false;
  if (AsciiLowercase(url.substr(0, kScheme.size())) != kScheme) return false;
  const char first = url[kScheme.size()];
  return first != '/' && first != '?' && first != '#' && first != ':';
}

}  // namespace postrider
