#include "platform/sha256.h"

// OpenSSL's own SHA-256 code, without its EVP layer: EVP's first use reads
// the system's openssl.cnf and sets up its providers (milliseconds at every
// project open), which a plain digest does not need. TLS still goes through
// EVP and so still reads that configuration.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

namespace postrider {

struct Sha256::Context {
  SHA256_CTX sha;
};

Sha256::Sha256() : context_(std::make_unique<Context>()) { SHA256_Init(&context_->sha); }

Sha256::~Sha256() = default;

void Sha256::Update(std::string_view bytes) {
  SHA256_Update(&context_->sha, bytes.data(), bytes.size());
}

std::string Sha256::HexDigest() {
  unsigned char digest[SHA256_DIGEST_LENGTH];
  SHA256_Final(digest, &context_->sha);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(sizeof digest * 2);
  for (const unsigned char byte : digest) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0x0F];
  }
  return text;
}

std::string Sha256Hex(std::string_view bytes) {
  Sha256 digest;
  digest.Update(bytes);
  return digest.HexDigest();
}

}  // namespace postrider
