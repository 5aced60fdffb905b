#pragma once

#include <functional>

namespace postrider {

// Runs while a socket call waits, so that a desktop program keeps painting and
// can offer Pause, and a command-line program can watch for an interrupt.
using BlockingHook = std::function<void()>;

// Process-wide; an empty hook means none.
void SetBlockingHook(BlockingHook hook);
// The hook now installed, so that a caller can put it back; empty when none.
BlockingHook GetBlockingHook();

// Makes the socket call now waiting fail with 10004. Does nothing when no call
// is waiting. Safe to call from inside the hook.
void CancelBlockingCall();

bool IsInBlockingCall();

// For the socket layer: marks one blocking call from start to end. Only one
// call may wait at a time; a second one started from inside the hook is
// refused, as the hook must not re-enter the socket layer.
class BlockingCallScope {
 public:
  BlockingCallScope();
  ~BlockingCallScope();
  BlockingCallScope(const BlockingCallScope&) = delete;
  BlockingCallScope& operator=(const BlockingCallScope&) = delete;

  // False when another call was already waiting (the caller must fail with 10036).
  bool entered() const { return entered_; }
  // Runs the hook once; returns 0, or 10004 when the call has been cancelled.
  int RunHook();
  int CancelResult() const;

 private:
  bool entered_;
};

}  // namespace postrider
