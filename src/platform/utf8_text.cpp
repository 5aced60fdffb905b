#include "platform/utf8_text.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>

namespace postrider {
namespace {

unsigned char Byte(char c) { return static_cast<unsigned char>(c); }

bool IsContinuationByte(char c) { return (Byte(c) & 0xC0) == 0x80; }

// Windows-1252 at 0x80 to 0x9F.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

void AppendCodePoint(char16_t code, std::string& out) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

constexpr std::uint64_t kHighBits = 0x8080808080808080u;

std::uint64_t Word(const char* bytes) {
  std::uint64_t word = 0;
  std::memcpy(&word, bytes, 8);
  return word;
}

}  // namespace

bool IsValidUtf8(std::string_view text) {
  const std::size_t n = text.size();
  const char* const p = text.data();
  // Lists and letters are mostly ASCII, and list values short: sixteen bytes
  // a step, then the last eight, which may overlap bytes already seen.
  std::size_t i = 0;
  while (n - i >= 16 && ((Word(p + i) | Word(p + i + 8)) & kHighBits) == 0) i += 16;
  if (n >= 8 && n - i < 16) {
    const std::uint64_t rest = (n - i >= 8 ? Word(p + i) : 0) | Word(p + n - 8);
    if ((rest & kHighBits) == 0) return true;
  }
  while (i < n) {
    if (n - i >= 8 && (Word(p + i) & kHighBits) == 0) {
      i += 8;
      continue;
    }
    const unsigned char lead = Byte(text[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    unsigned char low = 0x80;  // bounds of the second byte
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;   // overlong
      if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;   // overlong
      if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
    } else {
      return false;
    }
    if (n - i < length) return false;
    const unsigned char second = Byte(text[i + 1]);
    if (second < low || second > high) return false;
    for (std::size_t k = 2; k < length; ++k) {
      if (!IsContinuationByte(text[i + k])) return false;
    }
    i += length;
  }
  return true;
}

void AppendAsUtf8(std::string_view text, std::string& out) {
  if (IsValidUtf8(text)) {
    out += text;
    return;
  }
  out.reserve(out.size() + text.size() + text.size() / 2);
  for (const char c : text) {
    const unsigned char b = Byte(c);
    if (b < 0x80) {
      out += c;
    } else if (b < 0xA0) {
      AppendCodePoint(kWindows1252High[b - 0x80], out);
    } else {
      AppendCodePoint(b, out);
    }
  }
}

std::string AsUtf8(std::string_view text) {
  std::string out;
  AppendAsUtf8(text, out);
  return out;
}

std::string Utf8FromWide(std::string_view text, const char* encoding) {
  const iconv_t converter = iconv_open("UTF-8", encoding);
  if (converter == reinterpret_cast<iconv_t>(-1)) return AsUtf8(text);
  const std::size_t unit = std::string_view(encoding) == "UTF-32" ? 4 : 2;
  std::string out;
  out.reserve(text.size() + text.size() / 2);
  char* in = const_cast<char*>(text.data());
  std::size_t inLeft = text.size();
  std::array<char, 4096> chunk{};
  while (inLeft > 0) {
    char* next = chunk.data();
    std::size_t room = chunk.size();
    const std::size_t result = iconv(converter, &in, &inLeft, &next, &room);
    const int error = errno;
    out.append(chunk.data(), static_cast<std::size_t>(next - chunk.data()));
    if (result != static_cast<std::size_t>(-1) || error == E2BIG) continue;
    // A lone surrogate, a value past U+10FFFF, or a unit cut short at the end.
    out += "\xEF\xBF\xBD";
    const std::size_t skipped = std::min(unit, inLeft);
    in += skipped;
    inLeft -= skipped;
  }
  iconv_close(converter);
  return out;
}

}  // namespace postrider
