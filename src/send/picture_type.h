#pragma once

#include <string>
#include <string_view>

namespace postrider {

// The media type libmagic reads from the bytes themselves ("image/png"),
// never from a file's name; "" when libmagic cannot tell.
std::string MediaTypeOfBytes(std::string_view bytes);

}  // namespace postrider
