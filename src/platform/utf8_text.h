#pragma once

#include <string>
#include <string_view>

namespace postrider {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool IsValidUtf8(std::string_view text);

// Appends text as UTF-8: as it is when it is valid UTF-8, else read as
// Windows-1252 (Latin-1 with the printable characters Windows puts at 0x80 to
// 0x9F; the five bytes it leaves undefined become the C1 controls they name).
void AppendAsUtf8(std::string_view text, std::string& out);

std::string AsUtf8(std::string_view text);

}  // namespace postrider
