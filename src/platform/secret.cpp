#include "platform/secret.h"

#include <openssl/crypto.h>
#include <sys/prctl.h>
#include <sys/resource.h>

#include <atomic>
#include <utility>

namespace postrider {

void KeepSecretsOutOfCoreDumps() {
  static std::atomic<bool> done{false};
  if (done.exchange(true)) return;
  // Both: a core handler that takes dumps of processes that are not
  // dumpable (fs.suid_dumpable=2) still keeps to the size limit.
  prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
  rlimit core{};
  if (getrlimit(RLIMIT_CORE, &core) == 0) {
    core.rlim_cur = 0;
    setrlimit(RLIMIT_CORE, &core);
  }
}

Secret::Secret(std::string value) : value_(std::move(value)) {
  if (!value_.empty()) KeepSecretsOutOfCoreDumps();
}

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
