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

// Text saved as "UTF-16" or "UTF-32" (with its byte order mark, which says
// the byte order and is dropped) as UTF-8; a unit that names no character
// becomes U+FFFD.
std::string Utf8FromWide(std::string_view text, const char* encoding);

}  // namespace postrider
