#include "send/message_decoder.h"

#include <algorithm>
#include <cctype>
#include <optional>

#include "platform/utf8_text.h"

namespace postrider {

namespace {

std::string Lower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return lower;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Characters outside the alphabet (line breaks, padding) are passed over.
std::string DecodeBase64(std::string_view text) {
  std::string out;
  unsigned int bits = 0;
  int count = 0;
  for (const char c : text) {
    const int value = Base64Value(c);
    if (value < 0) continue;
    bits = (bits << 6) | static_cast<unsigned int>(value);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out.push_back(static_cast<char>((bits >> count) & 0xFF));
    }
  }
  return out;
}

// The "Q" encoding of a header word: "_" is a blank, "=XX" a byte.
std::string DecodeQWord(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '_') {
      out.push_back(' ');
    } else if (text[i] == '=' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
               HexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

void AppendLatin1(std::string_view bytes, std::string& out) {
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      out.push_back(c);
    } else {
      out.push_back(static_cast<char>(0xC0 | (byte >> 6)));
      out.push_back(static_cast<char>(0x80 | (byte & 0x3F)));
    }
  }
}

// Bytes in `charset` as UTF-8; an unknown charset is read as UTF-8 where
// valid, else as Windows-1252, like everything else shown.
void AppendInCharset(std::string_view bytes, std::string_view charset, std::string& out) {
  const std::string name = Lower(charset);
  if (name == "iso-8859-1" || name == "latin1" || name == "iso8859-1") {
    AppendLatin1(bytes, out);
  } else {
    AppendAsUtf8(bytes, out);
  }
}

// One encoded word at the start of `text`: its decoded UTF-8 and its length.
std::optional<std::pair<std::string, std::size_t>> EncodedWordAt(std::string_view text) {
  if (!text.starts_with("=?")) return std::nullopt;
  const std::size_t charsetEnd = text.find('?', 2);
  if (charsetEnd == std::string_view::npos || charsetEnd + 2 >= text.size() ||
      text[charsetEnd + 2] != '?') {
    return std::nullopt;
  }
  const std::size_t end = text.find("?=", charsetEnd + 3);
  if (end == std::string_view::npos) return std::nullopt;
  std::string_view charset = text.substr(2, charsetEnd - 2);
  // RFC 2231 lets a language follow the charset: "UTF-8*en".
  charset = charset.substr(0, charset.find('*'));
  const char encoding = static_cast<char>(std::toupper(static_cast<unsigned char>(text[charsetEnd + 1])));
  const std::string_view encoded = text.substr(charsetEnd + 3, end - charsetEnd - 3);
  if (encoded.find_first_of(" \t") != std::string_view::npos) return std::nullopt;
  std::string bytes;
  if (encoding == 'B') {
    bytes = DecodeBase64(encoded);
  } else if (encoding == 'Q') {
    bytes = DecodeQWord(encoded);
  } else {
    return std::nullopt;
  }
  std::string decoded;
  AppendInCharset(bytes, charset, decoded);
  return std::make_pair(std::move(decoded), end + 2);
}

// The parameter of a Content-Type value: `charset` of "text/plain; charset=UTF-8".
std::string ParameterOf(std::string_view value, std::string_view parameter) {
  const std::string lower = Lower(value);
  const std::string key = Lower(parameter) + "=";
  std::size_t at = lower.find(key);
  while (at != std::string::npos && at > 0 && lower[at - 1] != ';' && lower[at - 1] != ' ' &&
         lower[at - 1] != '\t') {
    at = lower.find(key, at + 1);
  }
  if (at == std::string::npos) return {};
  std::string_view rest = value.substr(at + key.size());
  if (!rest.empty() && rest.front() == '"') {
    rest.remove_prefix(1);
    return std::string(rest.substr(0, rest.find('"')));
  }
  return std::string(Trim(rest.substr(0, rest.find(';'))));
}

std::string WithLfLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out.push_back('\n');
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out.push_back(text[i]);
    }
  }
  return out;
}

}  // namespace

std::string DecodedMessage::Header(std::string_view name) const {
  const std::string wanted = Lower(name);
  for (const auto& [headerName, value] : headers) {
    if (Lower(headerName) == wanted) return value;
  }
  return {};
}

std::string DecodeHeaderValue(std::string_view value) {
  std::string out;
  std::string pendingBlanks;  // dropped when an encoded word follows a word
  bool lastWasWord = false;
  std::size_t i = 0;
  while (i < value.size()) {
    if (const auto word = EncodedWordAt(value.substr(i))) {
      if (!lastWasWord) out += pendingBlanks;
      pendingBlanks.clear();
      out += word->first;
      i += word->second;
      lastWasWord = true;
      continue;
    }
    if (value[i] == ' ' || value[i] == '\t') {
      pendingBlanks.push_back(value[i]);
      ++i;
      continue;
    }
    out += pendingBlanks;
    pendingBlanks.clear();
    // Plain text up to the next blank or word.
    std::size_t end = i + 1;
    while (end < value.size() && value[end] != ' ' && value[end] != '\t' &&
           !value.substr(end).starts_with("=?")) {
      ++end;
    }
    AppendAsUtf8(value.substr(i, end - i), out);
    i = end;
    lastWasWord = false;
  }
  out += pendingBlanks;
  return out;
}

std::string DecodeQuotedPrintable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '=') {
      out.push_back(text[i]);
      continue;
    }
    if (i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else if (i + 1 < text.size() && (text[i + 1] == '\r' || text[i + 1] == '\n')) {
      // A soft line break.
      ++i;
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (i + 1 == text.size()) {
      // A soft break at the very end.
    } else {
      out.push_back('=');
    }
  }
  return out;
}

DecodedMessage DecodeMessage(std::string_view message) {
  DecodedMessage decoded;
  std::size_t at = 0;
  // Header lines up to the first empty line; a line starting with a blank
  // continues the one before.
  std::vector<std::string> lines;
  while (at < message.size()) {
    std::size_t end = message.find('\n', at);
    const std::size_t next = end == std::string_view::npos ? message.size() : end + 1;
    if (end == std::string_view::npos) end = message.size();
    std::string_view line = message.substr(at, end - at);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    at = next;
    if (line.empty()) break;
    if ((line.front() == ' ' || line.front() == '\t') && !lines.empty()) {
      lines.back() += line;
    } else {
      lines.emplace_back(line);
    }
  }
  for (const std::string& line : lines) {
    const std::size_t colon = line.find(':');
    if (colon == std::string::npos) continue;
    decoded.headers.emplace_back(line.substr(0, colon),
                                 DecodeHeaderValue(Trim(std::string_view(line).substr(colon + 1))));
  }

  const std::string_view rawBody = at < message.size() ? message.substr(at) : std::string_view();
  const std::string encoding = Lower(Trim(decoded.Header("Content-Transfer-Encoding")));
  std::string bytes;
  if (encoding == "quoted-printable") {
    bytes = DecodeQuotedPrintable(rawBody);
  } else if (encoding == "base64") {
    bytes = DecodeBase64(rawBody);
  } else {
    bytes = std::string(rawBody);
  }
  std::string text;
  AppendInCharset(bytes, ParameterOf(decoded.Header("Content-Type"), "charset"), text);
  decoded.body = WithLfLineEnds(text);
  return decoded;
}

}  // namespace postrider
