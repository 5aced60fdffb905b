#include "smtp/smtp_text_encoder.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace postrider {
namespace {

// Where the first CR or LF in [from, limit) is, else limit. One pass for
// both bytes instead of a memchr for each.
std::size_t FindLineEnd(const char* base, std::size_t from, std::size_t limit) {
#if defined(__SSE2__)
  if (limit - from >= 16) {
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const auto lineEnds = [&](std::size_t at) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(base + at));
      return static_cast<unsigned>(
          _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(bytes, cr), _mm_cmpeq_epi8(bytes, lf))));
    };
    std::size_t at = from;
    for (; at + 16 <= limit; at += 16) {
      if (const unsigned found = lineEnds(at)) {
        return at + static_cast<std::size_t>(__builtin_ctz(found));
      }
    }
    if (at == limit) return limit;
    // The last 16 bytes again: those before `at` are known to hold none.
    at = limit - 16;
    const unsigned found = lineEnds(at);
    return found != 0 ? at + static_cast<std::size_t>(__builtin_ctz(found)) : limit;
  }
#endif
  for (std::size_t at = from; at < limit; ++at) {
    if (base[at] == '\r' || base[at] == '\n') return at;
  }
  return limit;
}

}  // namespace

std::size_t SmtpTextEncoder::MessageSize(std::string_view text) {
  std::size_t size = 0;
  bool atLineStart = true;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      size += 2;
      atLineStart = true;
    } else {
      ++size;
      atLineStart = false;
    }
  }
  return atLineStart ? size : size + 2;
}

std::size_t SmtpTextEncoder::NextPiece(char* out) {
  std::size_t length = 0;
  if (hasCarry_) {
    out[length++] = carry_;
    hasCarry_ = false;
  }
  const auto putPair = [&](char first, char second) {
    out[length++] = first;
    if (length < kMaxPiece) {
      out[length++] = second;
    } else {
      carry_ = second;
      hasCarry_ = true;
    }
  };

  const std::size_t size = text_.size();
  while (length < kMaxPiece && position_ < size) {
    const char c = text_[position_++];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && position_ < size && text_[position_] == '\n') ++position_;
      putPair('\r', '\n');
      atLineStart_ = true;
    } else if (c == '.' && atLineStart_) {
      putPair('.', '.');
      atLineStart_ = false;
    } else {
      // The rest of the line at once, as far as the piece has room.
      const char* base = text_.data();
      const std::size_t from = position_ - 1;
      const std::size_t limit = std::min(size, from + (kMaxPiece - length));
      const std::size_t stop = FindLineEnd(base, from, limit);
      std::memcpy(out + length, base + from, stop - from);
      length += stop - from;
      position_ = stop;
      atLineStart_ = false;
    }
  }
  return length;
}

}  // namespace postrider
