#pragma once

#include <cctype>
#include <string>
#include <string_view>

namespace postrider {

// The text with ASCII letters in lower case, for matching protocol words and
// setting values without regard to case; other bytes stay as they are.
inline std::string AsciiLowercase(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

}  // namespace postrider
