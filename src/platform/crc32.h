#pragma once

#include <cstdint>
#include <string_view>

namespace postrider {

// CRC-32 as zlib and PNG compute it (IEEE 802.3, reflected), enough to tell a
// line torn by a power cut from one written whole.
std::uint32_t Crc32(std::string_view bytes);

}  // namespace postrider
