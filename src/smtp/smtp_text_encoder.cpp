#include "smtp/smtp_text_encoder.h"

#include <algorithm>
#include <cstring>

namespace postrider {

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
      const void* lf = std::memchr(base + from, '\n', limit - from);
      std::size_t stop = lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - base)
                                       : limit;
      if (const void* cr = std::memchr(base + from, '\r', stop - from)) {
        stop = static_cast<std::size_t>(static_cast<const char*>(cr) - base);
      }
      std::memcpy(out + length, base + from, stop - from);
      length += stop - from;
      position_ = stop;
      atLineStart_ = false;
    }
  }
  return length;
}

}  // namespace postrider
