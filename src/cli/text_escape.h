#pragma once

#include <string>
#include <string_view>

namespace postrider::cli {

// One value on one line: backslash, TAB, CR and LF as \\ \t \r \n, other bytes
// below 0x20 as \xHH; DEL and the C1 controls (raw bytes 0x80 to 0x9F that are
// not part of UTF-8, or U+0080 to U+009F) as '?'; everything else as it is.
std::string EscapeValue(std::string_view value);

}  // namespace postrider::cli
