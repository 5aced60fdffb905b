#pragma once

#include <functional>
#include <signal.h>

namespace postrider::cli {

// While it lives, Ctrl+C does not end the program: the handler only notes
// it, and the blocking hook calls onInterrupt while a socket call waits (so
// a send pauses, and a check stops waiting).
class InterruptWatch {
 public:
  explicit InterruptWatch(std::function<void()> onInterrupt);
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // Whether Ctrl+C came since the watch began.
  static bool Interrupted();

 private:
  struct sigaction previous_ {};
};

}  // namespace postrider::cli
