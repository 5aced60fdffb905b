#include "platform/secret.h"

#include <openssl/crypto.h>

#include <utility>

namespace postrider {

void WipeString(std::string& text) {
  // The whole capacity: a shorter value may have replaced a longer one.
  text.resize(text.capacity());
  if (!text.empty()) OPENSSL_cleanse(text.data(), text.size());
  text.clear();
}

Secret::~Secret() { Clear(); }

Secret::Secret(Secret&& other) noexcept : value_(std::move(other.value_)) { other.Clear(); }

Secret& Secret::operator=(Secret&& other) noexcept {
  if (this != &other) {
    Clear();
    value_ = std::move(other.value_);
    other.Clear();
  }
  return *this;
}

void Secret::Clear() { WipeString(value_); }

}  // namespace postrider
