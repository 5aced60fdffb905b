#pragma once

#include <string>
#include <string_view>

namespace postrider::cli {

// One value on one line: backslash, TAB, CR and LF as \\ \t \r \n, other bytes
// below 0x20 as \xHH; everything else as it is.
std::string EscapeValue(std::string_view value);

}  // namespace postrider::cli
