#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace postrider {

// Appends the base64 form of bytes (RFC 4648, with padding, no line breaks).
void AppendBase64(std::string_view bytes, std::string& out);

std::string Base64(std::string_view bytes);

// The URL-safe form (RFC 4648 section 5) without padding, as PKCE and JWTs use it.
std::string Base64Url(std::string_view bytes);

// The bytes of a base64 text, in either alphabet, padding optional; nothing
// when it holds anything else (blanks included) or is cut short.
std::optional<std::string> DecodeBase64(std::string_view text);

}  // namespace postrider
