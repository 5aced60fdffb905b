#include "platform/crc32.h"

#include <zlib.h>

namespace postrider {

// zlib's table-sliced CRC computes the same value as a byte-at-a-time loop,
// several times faster on a journal record.
std::uint32_t Crc32(std::string_view bytes) {
  return static_cast<std::uint32_t>(
      crc32_z(0UL, reinterpret_cast<const Bytef*>(bytes.data()), bytes.size()));
}

}  // namespace postrider
