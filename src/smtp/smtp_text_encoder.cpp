#include "smtp/smtp_text_encoder.h"

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
      out[length++] = c;
      atLineStart_ = false;
    }
  }
  return length;
}

}  // namespace postrider
