#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace postrider {

// SHA-256 over bytes fed in pieces, as lower-case hex: what tells a file from
// the same file edited, whatever its size.
class Sha256 {
 public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256&) = delete;
  Sha256& operator=(const Sha256&) = delete;

  void Update(std::string_view bytes);
  // The digest of everything fed so far; the object is spent afterwards.
  std::string HexDigest();

 private:
  struct Context;
  std::unique_ptr<Context> context_;
};

// The digest of one piece of bytes.
std::string Sha256Hex(std::string_view bytes);

}  // namespace postrider
