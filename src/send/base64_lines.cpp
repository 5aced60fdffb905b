#include "send/base64_lines.h"

namespace postrider {
namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

inline unsigned Byte(const char* p, std::size_t i) { return static_cast<unsigned char>(p[i]); }

// Encodes whole groups of three; returns where writing stopped.
inline char* EncodeGroups(const char* in, std::size_t groups, char* out) {
  for (std::size_t g = 0; g < groups; ++g, in += 3) {
    const unsigned triple = Byte(in, 0) << 16 | Byte(in, 1) << 8 | Byte(in, 2);
    *out++ = kAlphabet[triple >> 18];
    *out++ = kAlphabet[(triple >> 12) & 63];
    *out++ = kAlphabet[(triple >> 6) & 63];
    *out++ = kAlphabet[triple & 63];
  }
  return out;
}

}  // namespace

std::uint64_t Base64LineEncoder::EncodedSize(std::uint64_t bytes) {
  if (bytes == 0) return 0;
  const std::uint64_t lines = (bytes + kLineBytes - 1) / kLineBytes;
  return (bytes + 2) / 3 * 4 + 2 * (lines - 1);
}

void Base64LineEncoder::Append(std::string_view bytes, std::string& out) {
  if (bytes.empty()) return;
  const std::size_t start = out.size();
  const std::size_t lines = (bytes.size() + kLineBytes - 1) / kLineBytes;
  out.resize(start + (bytes.size() + 2) / 3 * 4 + 2 * lines);
  char* write = out.data() + start;
  const char* read = bytes.data();
  std::size_t left = bytes.size();
  while (left > 0) {
    if (started_) {
      *write++ = '\r';
      *write++ = '\n';
    }
    started_ = true;
    const std::size_t take = left < kLineBytes ? left : kLineBytes;
    write = EncodeGroups(read, take / 3, write);
    read += take / 3 * 3;
    if (const std::size_t rest = take % 3; rest != 0) {
      const unsigned first = Byte(read, 0);
      const unsigned second = rest == 2 ? Byte(read, 1) : 0;
      *write++ = kAlphabet[first >> 2];
      *write++ = kAlphabet[((first & 3) << 4) | (second >> 4)];
      *write++ = rest == 2 ? kAlphabet[(second & 15) << 2] : '=';
      *write++ = '=';
      read += rest;
    }
    left -= take;
  }
  out.resize(static_cast<std::size_t>(write - out.data()));
}

void AppendBase64Lines(std::string_view bytes, std::string& out) {
  Base64LineEncoder encoder;
  encoder.Append(bytes, out);
}

}  // namespace postrider
