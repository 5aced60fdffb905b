#include "platform/blocking_wait.h"

#include <algorithm>
#include <thread>

#include "platform/blocking_call.h"
#include "platform/socket_errors.h"

namespace postrider {
namespace {

// Short enough that the window answers a click at once, long enough to cost
// nothing while it sleeps.
constexpr std::chrono::milliseconds kSlice{10};

}  // namespace

int BlockingWait(std::chrono::nanoseconds duration) {
  BlockingCallScope scope;
  if (!scope.entered()) return kWsaEinprogress;
  const auto deadline = std::chrono::steady_clock::now() + duration;
  for (;;) {
    if (const int cancelled = scope.RunHook()) return cancelled;
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) return 0;
    std::this_thread::sleep_for(std::min<std::chrono::nanoseconds>(kSlice, deadline - now));
  }
}

}  // namespace postrider
