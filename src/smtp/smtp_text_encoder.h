#pragma once

#include <cstddef>
#include <string_view>

namespace postrider {

// Turns a message text into what goes between DATA and the end-of-data line,
// so that it arrives exactly as composed: every line end (CR LF, bare LF,
// bare CR) becomes CR LF, and a '.' that starts a line is doubled.
class SmtpTextEncoder {
 public:
  static constexpr std::size_t kMaxPiece = 900;

  explicit SmtpTextEncoder(std::string_view text) : text_(text) {}

  // The message's size as SIZE counts it (RFC 1870): every line end as CR LF
  // and the last line ended, without the doubled dots and the final ".".
  static std::size_t MessageSize(std::string_view text);

  // Writes the next piece (at most kMaxPiece bytes) to out and returns its
  // length; 0 once the whole text has been given out.
  std::size_t NextPiece(char* out) { return NextPiece(out, kMaxPiece); }
  // The same with room for `room` bytes (at least 2): a caller with a large
  // buffer takes a whole message in one call.
  std::size_t NextPiece(char* out, std::size_t room);

  // The line that ends the data after the last piece: ".\r\n" when the text
  // ended with a line end (or was empty), else "\r\n.\r\n", so no empty line
  // is added to the message.
  std::string_view EndOfData() const { return atLineStart_ ? ".\r\n" : "\r\n.\r\n"; }

 private:
  std::string_view text_;
  std::size_t position_ = 0;
  bool atLineStart_ = true;
  bool hasCarry_ = false;  // second byte of a pair that did not fit the last piece
  char carry_ = 0;
};

}  // namespace postrider
