#pragma once

#include <string>
#include <string_view>

namespace postrider {

// Appends the base64 form of bytes (RFC 4648, with padding, no line breaks).
void AppendBase64(std::string_view bytes, std::string& out);

std::string Base64(std::string_view bytes);

}  // namespace postrider
