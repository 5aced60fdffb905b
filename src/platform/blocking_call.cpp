#include "platform/blocking_call.h"

#include <atomic>
#include <memory>
#include <utility>

#include "platform/socket_errors.h"

namespace postrider {
namespace {

// Shared, so that a hook may replace itself while it runs.
std::shared_ptr<const BlockingHook>& InstalledHook() {
  static std::shared_ptr<const BlockingHook> hook;
  return hook;
}

// One thread makes socket calls; the flags are atomic only so that a signal
// handler may cancel too.
std::atomic<bool> inBlockingCall{false};
std::atomic<bool> cancelRequested{false};

}  // namespace

void SetBlockingHook(BlockingHook hook) {
  if (hook) {
    InstalledHook() = std::make_shared<const BlockingHook>(std::move(hook));
  } else {
    InstalledHook().reset();
  }
}

BlockingHook GetBlockingHook() {
  const std::shared_ptr<const BlockingHook> hook = InstalledHook();
  return hook ? *hook : BlockingHook();
}

void CancelBlockingCall() {
  if (inBlockingCall.load()) cancelRequested.store(true);
}

bool IsInBlockingCall() { return inBlockingCall.load(); }

BlockingCallScope::BlockingCallScope() : entered_(!inBlockingCall.exchange(true)) {
  if (entered_) cancelRequested.store(false);
}

BlockingCallScope::~BlockingCallScope() {
  if (!entered_) return;
  cancelRequested.store(false);
  inBlockingCall.store(false);
}

int BlockingCallScope::RunHook() {
  if (InstalledHook()) {
    const std::shared_ptr<const BlockingHook> hook = InstalledHook();
    (*hook)();
  }
  return CancelResult();
}

int BlockingCallScope::CancelResult() const { return cancelRequested.load() ? kWsaEintr : 0; }

}  // namespace postrider
