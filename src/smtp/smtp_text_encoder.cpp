#include "smtp/smtp_text_encoder.h"

#include <algorithm>
#include <cstdint>
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
// Bytes of the 32 at `from` where a plain run must stop or look closer: a
// LF whose byte before is no CR, a byte after a CR that is no LF, a '.'
// after a LF. Reads the byte before `from` too.
__attribute__((target("avx2"))) inline __m256i StopsIn32(const char* from) {
  const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from));
  const __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from - 1));
  const __m256i lf = _mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('\n'));
  const __m256i afterCr = _mm256_cmpeq_epi8(before, _mm256_set1_epi8('\r'));
  const __m256i dotAfterLf = _mm256_and_si256(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('.')),
                                              _mm256_cmpeq_epi8(before, _mm256_set1_epi8('\n')));
  return _mm256_or_si256(_mm256_xor_si256(lf, afterCr), dotAfterLf);
}

__attribute__((target("avx2"))) inline std::uint64_t StopMask64(__m256i low, __m256i high) {
  return static_cast<std::uint32_t>(_mm256_movemask_epi8(low)) |
         static_cast<std::uint64_t>(static_cast<std::uint32_t>(_mm256_movemask_epi8(high))) << 32;
}

// PlainRunEnd 64 bytes a step: in a composed message every CR is followed
// by a LF and every LF follows a CR, so one comparison of the two settles
// a whole block, where a search a line cost several times more.
__attribute__((target("avx2"))) std::size_t PlainRunEndAvx2(const char* base, std::size_t at,
                                                            std::size_t limit, bool& lineStart) {
  if (limit - at <= 64) return PlainRunEnd(base, at, limit, lineStart);
  // The first byte by itself: the blocks compare each byte with the one
  // before, and the run never starts inside a CR LF.
  if (base[at] == '\n' || (lineStart && base[at] == '.')) return at;
  const std::size_t start = at;
  // Where a flagged byte makes the run stop: at a CR without its LF, which
  // is the byte before, or at the byte itself.
  const auto stopAt = [&](std::size_t flagged) {
    const std::size_t stop =
        base[flagged - 1] == '\r' && base[flagged] != '\n' ? flagged - 1 : flagged;
    if (stop > start) lineStart = base[stop - 1] == '\n';
    return stop;
  };
  std::size_t from = at + 1;
  for (; limit - from >= 64; from += 64) {
    const __m256i low = StopsIn32(base + from);
    const __m256i high = StopsIn32(base + from + 32);
    const __m256i both = _mm256_or_si256(low, high);
    if (!_mm256_testz_si256(both, both)) {
      return stopAt(from + static_cast<std::size_t>(__builtin_ctzll(StopMask64(low, high))));
    }
  }
  if (from < limit) {
    // The last 64 bytes of the range, some of them again: those before
    // `from` are known to go as they are.
    const std::size_t last = limit - 64;
    const std::uint64_t stops = StopMask64(StopsIn32(base + last), StopsIn32(base + last + 32)) &
                                (~0ULL << (from - last));
    if (stops != 0) return stopAt(last + static_cast<std::size_t>(__builtin_ctzll(stops)));
  }
  // A CR at the limit stops the run: its LF may lie beyond.
  const std::size_t stop = base[limit - 1] == '\r' ? limit - 1 : limit;
  lineStart = base[stop - 1] == '\n';
  return stop;
}

// Set before main: libgcc's own set-up may not have run yet, hence the init.
const bool kHasAvx2 = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));

// Bits for the 32 bytes at `at` where being a LF and following a CR
// differ: a lone LF, or the byte after a lone CR.
__attribute__((target("avx2"))) inline std::uint32_t LoneFlags32(const char* base,
                                                                std::size_t at) {
  const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base + at));
  const __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(base + at - 1));
  return static_cast<std::uint32_t>(
      _mm256_movemask_epi8(_mm256_xor_si256(_mm256_cmpeq_epi8(bytes, _mm256_set1_epi8('\n')),
                                            _mm256_cmpeq_epi8(before, _mm256_set1_epi8('\r')))));
}

// LoneLineEnds 32 bytes a step, for a text longer than 32 bytes.
__attribute__((target("avx2,popcnt"))) std::size_t LoneLineEndsAvx2(const char* base,
                                                                   std::size_t size) {
  std::size_t lone = (base[0] == '\n' ? 1 : 0) + (base[size - 1] == '\r' ? 1 : 0);
  std::size_t at = 1;
  for (; size - at >= 32; at += 32) {
    lone += static_cast<std::size_t>(__builtin_popcount(LoneFlags32(base, at)));
  }
  if (at < size) {
    // The last 32 again, without those counted already.
    const std::size_t last = size - 32;
    lone += static_cast<std::size_t>(
        __builtin_popcount(LoneFlags32(base, last) >> (at - last)));
  }
  return lone;
}
#endif

// How many CRs have no LF after them and LFs no CR before them.
std::size_t LoneLineEnds(const char* base, std::size_t size) {
#if defined(POSTRIDER_AVX2_RUNS)
  if (kHasAvx2 && size > 32) return LoneLineEndsAvx2(base, size);
#endif
  std::size_t lone = 0;
  for (std::size_t i = 0; i < size; ++i) {
    if (base[i] == '\n' && (i == 0 || base[i - 1] != '\r')) ++lone;
    if (base[i] == '\r' && (i + 1 == size || base[i + 1] != '\n')) ++lone;
  }
  return lone;
}

}  // namespace

std::size_t SmtpTextEncoder::MessageSize(std::string_view text) {
  // Every byte counts once, and a lone CR or LF once more as it becomes CR
  // LF; a last line without its end gets one.
  if (text.empty()) return 0;
  const char last = text.back();
  return text.size() + LoneLineEnds(text.data(), text.size()) +
         (last == '\r' || last == '\n' ? 0 : 2);
}

std::size_t SmtpTextEncoder::NextPiece(char* out, std::size_t room) {
  std::size_t length = 0;
  if (hasCarry_) {
    out[length++] = carry_;
    hasCarry_ = false;
  }
  const auto putPair = [&](char first, char second) {
    out[length++] = first;
    if (length < room) {
      out[length++] = second;
    } else {
      carry_ = second;
      hasCarry_ = true;
    }
  };

  const char* const base = text_.data();
  const std::size_t size = text_.size();
  while (length < room && position_ < size) {
    // A composed message is mostly lines already ended in CR LF: they go in
    // one copy, as far as the piece has room.
    const std::size_t limit = std::min(size, position_ + (room - length));
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
    if (length >= room || position_ >= size) break;

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
