#include "send/mime_encoding.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/base64.h"

namespace postrider {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

constexpr std::size_t kMaxTextLine = 998;
constexpr std::size_t kMaxEncodedLine = 76;
constexpr std::size_t kMaxEncodedWord = 75;

unsigned char Byte(char c) { return static_cast<unsigned char>(c); }

bool IsContinuationByte(char c) { return (Byte(c) & 0xC0) == 0x80; }

// Whether the byte at i (not a line break itself) is the last one of its line.
bool EndsLine(std::string_view text, std::size_t i) {
  const std::size_t next = i + 1;
  if (next == text.size() || text[next] == '\n') return true;
  return text[next] == '\r' && next + 1 < text.size() && text[next + 1] == '\n';
}

}  // namespace

bool HasEightBitBytes(std::string_view text) {
  // Eight bytes at a time: every message's To: address comes through here.
  std::size_t at = 0;
  for (std::uint64_t word = 0; at + 8 <= text.size(); at += 8) {
    std::memcpy(&word, text.data() + at, 8);
    if ((word & 0x8080808080808080u) != 0) return true;
  }
  return std::any_of(text.begin() + static_cast<std::ptrdiff_t>(at), text.end(),
                     [](char c) { return Byte(c) >= 0x80; });
}

std::string_view CharsetOf(std::string_view text) {
  return IsValidUtf8(text) ? "UTF-8" : "ISO-8859-1";
}

bool NeedsTransferEncoding(std::string_view text) {
  std::size_t lineLength = 0;
  for (const char c : text) {
    const unsigned char b = Byte(c);
    if (b >= 0x80 || b == 0) return true;
    if (b == '\n' || b == '\r') {
      lineLength = 0;
    } else if (++lineLength > kMaxTextLine) {
      return true;
    }
  }
  return false;
}

void AppendQuotedPrintable(std::string_view text, std::string& out) {
  // Written through a pointer into room for the worst case: every byte as =XX,
  // plus a soft break per 73 characters of output.
  const std::size_t start = out.size();
  const std::size_t n = text.size();
  out.resize(start + 3 * n + 3 * (n / 20 + 2));
  char* write = out.data() + start;
  std::size_t column = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const char c = text[i];
    if (c == '\n' || (c == '\r' && i + 1 < n && text[i + 1] == '\n')) {
      if (c == '\r') ++i;
      *write++ = '\r';
      *write++ = '\n';
      column = 0;
      continue;
    }
    const unsigned char b = Byte(c);
    const bool lastOnLine = EndsLine(text, i);
    const bool literal =
        (b >= 33 && b <= 126 && b != '=') || ((b == ' ' || b == '\t') && !lastOnLine);
    const std::size_t width = literal ? 1 : 3;
    // A line that goes on needs its last column for the soft break's '='.
    const std::size_t limit = lastOnLine ? kMaxEncodedLine : kMaxEncodedLine - 1;
    if (column + width > limit) {
      *write++ = '=';
      *write++ = '\r';
      *write++ = '\n';
      column = 0;
    }
    if (literal) {
      *write++ = c;
    } else {
      *write++ = '=';
      *write++ = kHexDigits[b >> 4];
      *write++ = kHexDigits[b & 15];
    }
    column += width;
  }
  out.resize(static_cast<std::size_t>(write - out.data()));
}

std::size_t AppendEncodedWords(std::string_view text, std::string_view charset,
                               std::size_t lineUsed, std::string& out) {
  const bool utf8 = charset == "UTF-8";
  const std::size_t overhead = charset.size() + 7;  // "=?" charset "?B?" ... "?="
  std::size_t lineLength = lineUsed;
  bool first = true;
  while (!text.empty()) {
    std::size_t room = std::min(kMaxEncodedWord, kMaxEncodedLine - lineLength);
    if (!first) {
      out += "\r\n ";
      lineLength = 1;
      room = kMaxEncodedWord;
    }
    // Every 3 bytes take 4 characters.
    std::size_t take = std::min(text.size(), (room - overhead) / 4 * 3);
    if (utf8) {
      while (take < text.size() && take > 0 && IsContinuationByte(text[take])) --take;
    }
    out += "=?";
    out += charset;
    out += "?B?";
    AppendBase64(text.substr(0, take), out);
    out += "?=";
    lineLength += overhead + (take + 2) / 3 * 4;
    text.remove_prefix(take);
    first = false;
  }
  return lineLength;
}

}  // namespace postrider
