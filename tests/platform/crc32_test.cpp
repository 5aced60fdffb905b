#include "platform/crc32.h"

#include <cstdint>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace postrider {
namespace {

// The reflected IEEE CRC-32 bit by bit, as journals already on disk were
// checked; the library's value must match it for every length and alignment.
std::uint32_t BitwiseCrc32(std::string_view bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char c : bytes) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1u) != 0 ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
  }
  return crc ^ 0xFFFFFFFFu;
}

TEST(Crc32Test, GivesTheStandardCheckValues) {
  EXPECT_EQ(Crc32(""), 0x00000000u);
  EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc32("The quick brown fox jumps over the lazy dog"), 0x414FA339u);
}

TEST(Crc32Test, MatchesTheBitwiseCrcForEveryLengthAndAlignment) {
  std::string bytes;
  for (int i = 0; i < 300; ++i) bytes += static_cast<char>((i * 37 + 11) & 0xFF);
  for (std::size_t start = 0; start < 8; ++start) {
    for (std::size_t length = 0; start + length <= bytes.size(); ++length) {
      const std::string_view piece = std::string_view(bytes).substr(start, length);
      ASSERT_EQ(Crc32(piece), BitwiseCrc32(piece)) << "start " << start << " length " << length;
    }
  }
}

}  // namespace
}  // namespace postrider
