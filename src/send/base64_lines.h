#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace postrider {

// Base64 (RFC 4648, padded) in lines of 76 characters, as a MIME part's body
// carries it: CR LF between lines, none after the last. Fed in pieces, so a
// file is encoded as it is read.
class Base64LineEncoder {
 public:
  // Bytes taken by one full line.
  static constexpr std::size_t kLineBytes = 57;

  // Appends the encoding of the next piece. Every piece but the last must be
  // a whole number of lines (a multiple of kLineBytes).
  void Append(std::string_view bytes, std::string& out);

  // What `bytes` bytes take once encoded, line breaks included.
  static std::uint64_t EncodedSize(std::uint64_t bytes);

 private:
  bool started_ = false;
};

// The whole of bytes, encoded at once.
void AppendBase64Lines(std::string_view bytes, std::string& out);

}  // namespace postrider
