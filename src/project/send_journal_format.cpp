#include "project/send_journal_format.h"

#include <array>
#include <charconv>
#include <cstring>

#include "platform/crc32.h"
#include "project/entry_marks.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace postrider {
namespace {

constexpr char kHex[] = "0123456789abcdef";

// A look-up rather than five comparisons: every value of every record
// passes through here.
constexpr std::array<bool, 256> MakeEscapedBytes() {
  std::array<bool, 256> escaped{};
  for (int byte = 0; byte <= 0x20; ++byte) escaped[byte] = true;
  escaped['%'] = true;
  escaped['='] = true;
  escaped[0x7F] = true;
  return escaped;
}

constexpr std::array<bool, 256> kEscapedBytes = MakeEscapedBytes();

inline __attribute__((always_inline)) char* WriteText(char* write, std::string_view text) {
  const char* from = text.data();
  const std::size_t size = text.size();
  // Keys, numbers and most addresses are short: two overlapping fixed-size
  // copies each, rather than a call to memcpy. An empty value may have no
  // data pointer, which memcpy must not get.
  if (size >= 8 && size <= 16) {
    std::memcpy(write, from, 8);
    std::memcpy(write + size - 8, from + size - 8, 8);
  } else if (size >= 4 && size < 8) {
    std::memcpy(write, from, 4);
    std::memcpy(write + size - 4, from + size - 4, 4);
  } else if (size < 4) {
    // The first, middle and last byte: one to three, without a loop.
    if (size > 0) {
      write[0] = from[0];
      write[size / 2] = from[size / 2];
      write[size - 1] = from[size - 1];
    }
  } else {
    std::memcpy(write, from, size);
  }
  return write + size;
}

#if defined(__SSE2__)
// Bits for the bytes of the 16 at `from` that must be escaped.
unsigned EscapedIn16(const char* from) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
  const __m128i upToBlank = _mm_cmpeq_epi8(_mm_min_epu8(bytes, _mm_set1_epi8(0x20)), bytes);
  const __m128i marks = _mm_or_si128(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('%')),
                                     _mm_cmpeq_epi8(bytes, _mm_set1_epi8('=')));
  const __m128i escaped =
      _mm_or_si128(_mm_or_si128(upToBlank, marks), _mm_cmpeq_epi8(bytes, _mm_set1_epi8(0x7F)));
  return static_cast<unsigned>(_mm_movemask_epi8(escaped));
}
#endif

// How many of value's first bytes go as they are.
std::size_t PlainPrefix(std::string_view value) {
  std::size_t at = 0;
#if defined(__SSE2__)
  // Sixteen bytes at a time: a journal line is mostly addresses.
  if (value.size() >= 16) {
    for (; at + 16 <= value.size(); at += 16) {
      if (const unsigned found = EscapedIn16(value.data() + at)) {
        return at + static_cast<std::size_t>(__builtin_ctz(found));
      }
    }
    if (at == value.size()) return at;
    // The last 16 again: those before `at` are known to need no escaping.
    at = value.size() - 16;
    const unsigned found = EscapedIn16(value.data() + at);
    return found != 0 ? at + static_cast<std::size_t>(__builtin_ctz(found)) : value.size();
  }
#endif
  while (at < value.size() && !kEscapedBytes[static_cast<unsigned char>(value[at])]) ++at;
  return at;
}

// value escaped: at most three bytes for each of its bytes.
char* WriteEscaped(char* write, std::string_view value) {
  for (;;) {
    const std::size_t plain = PlainPrefix(value);
    write = WriteText(write, value.substr(0, plain));
    if (plain == value.size()) return write;
    const auto byte = static_cast<unsigned char>(value[plain]);
    *write++ = '%';
    *write++ = kHex[byte >> 4];
    *write++ = kHex[byte & 0x0F];
    value.remove_prefix(plain + 1);
  }
}

// Each byte's two hex digits, so that a CRC is written in four steps.
constexpr std::array<char, 512> MakeHexPairs() {
  std::array<char, 512> pairs{};
  for (int byte = 0; byte < 256; ++byte) {
    pairs[2 * byte] = kHex[byte >> 4];
    pairs[2 * byte + 1] = kHex[byte & 0x0F];
  }
  return pairs;
}

constexpr std::array<char, 512> kHexPairs = MakeHexPairs();

#if defined(__SSE2__)
// The hex digits of the first eight bytes of `bytes`, two a byte, in order.
__m128i HexDigitsOf(__m128i bytes) {
  const __m128i nibble = _mm_set1_epi8(0x0F);
  const __m128i digits = _mm_unpacklo_epi8(_mm_and_si128(_mm_srli_epi16(bytes, 4), nibble),
                                           _mm_and_si128(bytes, nibble));
  const __m128i pastNine =
      _mm_and_si128(_mm_cmpgt_epi8(digits, _mm_set1_epi8(9)), _mm_set1_epi8('a' - '0' - 10));
  return _mm_add_epi8(_mm_add_epi8(digits, _mm_set1_epi8('0')), pastNine);
}
#endif

// Every record's: a table look-up a byte costs more than the digits at once.
void WriteCrc(char* write, std::string_view payload) {
  const std::uint32_t crc = Crc32(payload);
#if defined(__SSE2__)
  _mm_storel_epi64(reinterpret_cast<__m128i*>(write),
                   HexDigitsOf(_mm_cvtsi32_si128(static_cast<int>(__builtin_bswap32(crc)))));
#else
  std::memcpy(write, &kHexPairs[2 * (crc >> 24)], 2);
  std::memcpy(write + 2, &kHexPairs[2 * ((crc >> 16) & 0xFFu)], 2);
  std::memcpy(write + 4, &kHexPairs[2 * ((crc >> 8) & 0xFFu)], 2);
  std::memcpy(write + 6, &kHexPairs[2 * (crc & 0xFFu)], 2);
#endif
}

constexpr std::uint64_t kFnvPrime = 0x100000001b3ULL;

}  // namespace

void WriteRowDigest(const std::vector<std::string>& values, char* to) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  const auto add = [&hash](unsigned char byte) { hash = (hash ^ byte) * kFnvPrime; };
  for (const std::string& value : values) {
    // The first size % 8 bytes by a jump into the additions, then eight at
    // a time: a loop's counting byte by byte would cost as much again as
    // the digest.
    const auto* const begin = reinterpret_cast<const unsigned char*>(value.data());
    const auto* const head = begin + value.size() % 8;
    const auto* const end = begin + value.size();
    switch (value.size() % 8) {
      case 7: add(head[-7]); [[fallthrough]];
      case 6: add(head[-6]); [[fallthrough]];
      case 5: add(head[-5]); [[fallthrough]];
      case 4: add(head[-4]); [[fallthrough]];
      case 3: add(head[-3]); [[fallthrough]];
      case 2: add(head[-2]); [[fallthrough]];
      case 1: add(head[-1]); [[fallthrough]];
      default: break;
    }
    for (const auto* byte = head; byte != end; byte += 8) {
      add(byte[0]); add(byte[1]); add(byte[2]); add(byte[3]);
      add(byte[4]); add(byte[5]); add(byte[6]); add(byte[7]);
    }
    add(0x1F);
  }
#if defined(__SSE2__)
  // The sixteen digits at once, the most significant first.
  _mm_storeu_si128(reinterpret_cast<__m128i*>(to),
                   HexDigitsOf(_mm_cvtsi64_si128(static_cast<long long>(__builtin_bswap64(hash)))));
#else
  for (int i = 7; i >= 0; --i, hash >>= 8) {
    std::memcpy(to + 2 * i, &kHexPairs[2 * (hash & 0xFFu)], 2);
  }
#endif
}

namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> Unescaped(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '%') {
      out += value[i];
      continue;
    }
    if (i + 2 >= value.size()) return std::nullopt;
    const int high = HexValue(value[i + 1]);
    const int low = HexValue(value[i + 2]);
    if (high < 0 || low < 0) return std::nullopt;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  return out;
}

std::string CrcText(std::string_view payload) {
  std::string text(8, '0');
  WriteCrc(text.data(), payload);
  return text;
}

}  // namespace

const std::string* JournalRecord::Find(std::string_view key) const {
  for (const auto& [name, value] : fields) {
    if (name == key) return &value;
  }
  return nullptr;
}

std::optional<std::int64_t> JournalRecord::Number(std::string_view key) const {
  const std::string* text = Find(key);
  if (text == nullptr || text->empty()) return std::nullopt;
  std::int64_t value = 0;
  const char* end = text->data() + text->size();
  const auto [stop, error] = std::from_chars(text->data(), end, value);
  if (error != std::errc() || stop != end) return std::nullopt;
  return value;
}

std::size_t JournalRecordRoom(std::string_view kind,
                              std::initializer_list<JournalField> fields) {
  std::size_t longest = kind.size() + 10;  // " " CRC "\n"
  for (const auto& [key, value] : fields) longest += key.size() + 2 + 3 * value.size();
  return longest;
}

char* WriteJournalRecord(char* const to, std::string_view kind,
                         std::initializer_list<JournalField> fields) {
  char* write = WriteText(to, kind);
  for (const auto& [key, value] : fields) {
    *write++ = ' ';
    write = WriteText(write, key);
    *write++ = '=';
    write = WriteEscaped(write, value);
  }
  const std::string_view payload(to, static_cast<std::size_t>(write - to));
  *write++ = ' ';
  WriteCrc(write, payload);
  write += 8;
  *write++ = '\n';
  return write;
}

void AppendJournalRecord(std::string& out, std::string_view kind,
                         std::initializer_list<JournalField> fields) {
  const std::size_t begin = out.size();
  out.resize(begin + JournalRecordRoom(kind, fields));
  char* const end = WriteJournalRecord(out.data() + begin, kind, fields);
  out.resize(static_cast<std::size_t>(end - out.data()));
}

std::string EncodeJournalRecord(std::string_view kind, std::initializer_list<JournalField> fields) {
  std::string line;
  AppendJournalRecord(line, kind, fields);
  return line;
}

std::optional<JournalRecord> DecodeJournalRecord(std::string_view line) {
  if (line.size() < 10 || line[line.size() - 9] != ' ') return std::nullopt;
  const std::string_view payload = line.substr(0, line.size() - 9);
  if (CrcText(payload) != line.substr(line.size() - 8)) return std::nullopt;

  JournalRecord record;
  std::size_t at = payload.find(' ');
  record.kind = std::string(payload.substr(0, at));
  if (record.kind.empty()) return std::nullopt;
  while (at != std::string_view::npos) {
    const std::size_t begin = at + 1;
    at = payload.find(' ', begin);
    const std::string_view field = payload.substr(begin, at == std::string_view::npos
                                                             ? std::string_view::npos
                                                             : at - begin);
    const std::size_t equals = field.find('=');
    if (equals == std::string_view::npos || equals == 0) return std::nullopt;
    std::optional<std::string> value = Unescaped(field.substr(equals + 1));
    if (!value) return std::nullopt;
    record.fields.emplace_back(std::string(field.substr(0, equals)), std::move(*value));
  }
  return record;
}

std::string EntrySetText(int first, int end, const std::function<bool(int)>& has) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  std::size_t used = 0;  // up to the last digit that is not 0
  for (int entry = first; entry < end; entry += 4) {
    int digit = 0;
    for (int k = 0; k < 4 && entry + k < end; ++k) {
      if (has(entry + k)) digit |= 1 << k;
    }
    text.push_back(kHex[digit]);
    if (digit != 0) used = text.size();
  }
  text.resize(used);
  return text;
}

std::optional<std::vector<int>> EntrySetFrom(std::string_view text, int first) {
  std::vector<int> entries;
  for (std::size_t j = 0; j < text.size(); ++j) {
    const char c = text[j];
    int digit = 0;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else {
      return std::nullopt;
    }
    for (int k = 0; k < 4; ++k) {
      if ((digit & (1 << k)) != 0) entries.push_back(first + static_cast<int>(j) * 4 + k);
    }
  }
  return entries;
}

std::string ChosenRowsText(const ChosenRows& chosen) {
  std::string text;
  std::size_t size = 0;
  for (const std::string& address : chosen.addresses) size += address.size() + 26;
  text.reserve(size);
  const auto add = [&text](std::string_view value) {
    text += std::to_string(value.size());
    text += ':';
    text += value;
  };
  for (std::size_t k = 0; k < chosen.addresses.size(); ++k) {
    add(chosen.addresses[k]);
    add(k < chosen.rows.size() ? std::string_view(chosen.rows[k]) : std::string_view());
  }
  return text;
}

std::optional<ChosenRows> ChosenRowsFrom(std::string_view text) {
  ChosenRows chosen;
  // A length, ':' and that many bytes; nothing when they are not there.
  const auto take = [&text]() -> std::optional<std::string> {
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    std::size_t size = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + colon, size);
    if (error != std::errc() || stop != text.data() + colon || size > text.size() - colon - 1) {
      return std::nullopt;
    }
    std::string value(text.substr(colon + 1, size));
    text.remove_prefix(colon + 1 + size);
    return value;
  };
  while (!text.empty()) {
    if (chosen.addresses.size() >= static_cast<std::size_t>(kMaxListEntries)) return std::nullopt;
    std::optional<std::string> address = take();
    if (!address) return std::nullopt;
    std::optional<std::string> row = take();
    if (!row) return std::nullopt;
    chosen.addresses.push_back(std::move(*address));
    chosen.rows.push_back(std::move(*row));
  }
  return chosen;
}

}  // namespace postrider
