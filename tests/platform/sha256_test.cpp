#include "platform/sha256.h"

#include <string>
#include <string_view>

#include <gtest/gtest.h>

namespace postrider {
namespace {

// Project files keep these digests: the values must be SHA-256's own, however
// the bytes are fed.
TEST(Sha256Test, GivesTheStandardDigestsWholeOrInPieces) {
  struct Row {
    std::string bytes;
    std::string_view digest;
  };
  const Row rows[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {std::string(1000000, 'a'),
       "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(Sha256Hex(row.bytes), row.digest) << row.bytes.size() << " bytes";
    // Pieces that end inside and across the 64-byte blocks.
    Sha256 pieces;
    std::string_view rest = row.bytes;
    for (std::size_t size = 1; !rest.empty(); size = size * 3 + 1) {
      const std::string_view piece = rest.substr(0, size);
      pieces.Update(piece);
      rest.remove_prefix(piece.size());
    }
    EXPECT_EQ(pieces.HexDigest(), row.digest) << row.bytes.size() << " bytes in pieces";
  }
}

}  // namespace
}  // namespace postrider
