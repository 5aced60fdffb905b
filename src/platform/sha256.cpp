#include "platform/sha256.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace postrider {

struct Sha256::Context {
  EVP_MD_CTX* md = EVP_MD_CTX_new();
  ~Context() { EVP_MD_CTX_free(md); }
};

Sha256::Sha256() : context_(std::make_unique<Context>()) {
  // Only an exhausted process fails here; nothing sensible can go on then.
  if (context_->md == nullptr || EVP_DigestInit_ex(context_->md, EVP_sha256(), nullptr) != 1) {
    throw std::runtime_error("SHA-256 is not available");
  }
}

Sha256::~Sha256() = default;

void Sha256::Update(std::string_view bytes) {
  EVP_DigestUpdate(context_->md, bytes.data(), bytes.size());
}

std::string Sha256::HexDigest() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(context_->md, digest, &length);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(length * 2);
  for (unsigned int i = 0; i < length; ++i) {
    text += kHex[digest[i] >> 4];
    text += kHex[digest[i] & 0x0F];
  }
  return text;
}

std::string Sha256Hex(std::string_view bytes) {
  Sha256 digest;
  digest.Update(bytes);
  return digest.HexDigest();
}

}  // namespace postrider
