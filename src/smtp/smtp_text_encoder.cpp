#include "smtp/smtp_text_encoder.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define POSTRIDER_AVX2_RUNS 1
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

// The end of the run from `at` that goes as it is: lines ended in CR LF,
// none starting with a '.'. lineStart: whether `at` starts a line; on return,
// whether the run's end does.
std::size_t PlainRunEnd(const char* base, std::size_t at, std::size_t limit, bool& lineStart) {
  while (at < limit && !(lineStart && base[at] == '.')) {
    const std::size_t end = FindLineEnd(base, at, limit);
    if (end > at) lineStart = false;
    at = end;
    if (at + 1 >= limit || base[at] != '\r' || base[at + 1] != '\n') break;
    at += 2;
    lineStart = true;
  }
  return at;
}

#if defined(POSTRIDER_AVX2_RUNS)
// The same 32 bytes a step, where the processor has AVX2: half the
// instructions on a message's text.
__attribute__((target("avx2"))) std::size_t FindLineEndAvx2(const char* base, std::size_t from,
                                                            std::size_t limit) {
  if (limit - from < 32) return FindLineEnd(base, from, limit);
  const __m256i cr = _mm256_set1_epi8('\r');
  const __m256i lf = _mm256_set1_epi8('\n');
  std::size_t at = from;
  for (;; at += 32) {
    if (at + 32 > limit) at = limit - 32;  // the last 32 again: none before `at`
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base + at));
    const auto found = static_cast<unsigned>(_mm256_movemask_epi8(
        _mm256_or_si256(_mm256_cmpeq_epi8(bytes, cr), _mm256_cmpeq_epi8(bytes, lf))));
    if (found != 0) return at + static_cast<std::size_t>(__builtin_ctz(found));
    if (at + 32 == limit) return limit;
  }
}

__attribute__((target("avx2"))) std::size_t PlainRunEndAvx2(const char* base, std::size_t at,
                                                            std::size_t limit, bool& lineStart) {
  while (at < limit && !(lineStart && base[at] == '.')) {
    const std::size_t end = FindLineEndAvx2(base, at, limit);
    if (end > at) lineStart = false;
    at = end;
    if (at + 1 >= limit || base[at] != '\r' || base[at + 1] != '\n') break;
    at += 2;
    lineStart = true;
  }
  return at;
}

// Set before main: libgcc's own set-up may not have run yet, hence the init.
const bool kHasAvx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
#endif

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

  const char* const base = text_.data();
  const std::size_t size = text_.size();
  while (length < kMaxPiece && position_ < size) {
    // A composed message is mostly lines already ended in CR LF: they go in
    // one copy, as far as the piece has room.
    const std::size_t limit = std::min(size, position_ + (kMaxPiece - length));
    bool lineStart = atLineStart_;
#if defined(POSTRIDER_AVX2_RUNS)
    const std::size_t at = kHasAvx2 ? PlainRunEndAvx2(base, position_, limit, lineStart)
                                    : PlainRunEnd(base, position_, limit, lineStart);
#else
    const std::size_t at = PlainRunEnd(base, position_, limit, lineStart);
#endif
    std::memcpy(out + length, base + position_, at - position_);
    length += at - position_;
    position_ = at;
    atLineStart_ = lineStart;
    if (length >= kMaxPiece || position_ >= size) break;

    // What the run stopped at: a line end of another kind (or one cut by the
    // piece's end), or a '.' that starts a line.
    const char c = base[position_++];
    if (c == '\r' || c == '\n') {
      if (c == '\r' && position_ < size && base[position_] == '\n') ++position_;
      putPair('\r', '\n');
      atLineStart_ = true;
    } else {
      putPair('.', '.');
      atLineStart_ = false;
    }
  }
  return length;
}

}  // namespace postrider
