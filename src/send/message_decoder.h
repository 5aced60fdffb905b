#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace postrider {

// A message as a mail program shows it: header values unfolded with their
// RFC 2047 words decoded, and the body with its transfer encoding undone,
// all as UTF-8 with LF line ends.
struct DecodedMessage {
  std::vector<std::pair<std::string, std::string>> headers;  // name, value
  std::string body;

  // The first header of that name (any letter case), "" when there is none.
  std::string Header(std::string_view name) const;
};

// Never fails: what it cannot decode (an unknown charset, a broken encoded
// word) is shown as it came, made valid UTF-8.
DecodedMessage DecodeMessage(std::string_view message);

// A header value with its encoded words ("=?UTF-8?B?...?=", "=?ISO-8859-1?Q?...?=")
// decoded; blanks between two adjacent words are dropped, as RFC 2047 says.
std::string DecodeHeaderValue(std::string_view value);

// Quoted-printable undone: "=XX" bytes, soft line breaks dropped.
std::string DecodeQuotedPrintable(std::string_view text);

}  // namespace postrider
