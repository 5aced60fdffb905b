#pragma once

#include <map>
#include <string>
#include <string_view>

namespace postrider {

// The formatted side of a composed message, for Preview to show as it
// renders: read with GMime, transfer encodings undone.
struct FormattedParts {
  std::string html;  // the text/html part, UTF-8, LF line ends; empty when there is none
  std::string text;  // the text/plain part that goes with it, UTF-8, LF line ends
  std::map<std::string, std::string> pictures;  // Content-ID (no brackets) -> bytes
};

FormattedParts ReadFormattedParts(std::string_view message);

}  // namespace postrider
