#pragma once

#include <chrono>
#include <functional>
#include <iterator>
#include <signal.h>

namespace postrider::cli {

// While it lives, Ctrl+C, SIGTERM and SIGHUP do not end the program: the
// handler only notes them, and the blocking hook calls onInterrupt while a
// socket call waits (so a send pauses, ends cleanly and saves, and a check
// stops waiting). Signals within kRepeatWindow of one acted on are the same
// request. With `watchOutput`, so is output that lost its reader (SIGPIPE, as
// under `| head`), once: every later write to it fails the same way and asks
// nothing more; without, such output ends the program quietly as ever.
// A signal ignored when the watch begins (SIGHUP under nohup) stays ignored.
class InterruptWatch {
 public:
  static constexpr std::chrono::milliseconds kRepeatWindow{1000};

  explicit InterruptWatch(std::function<void()> onInterrupt, bool watchOutput = false);
  ~InterruptWatch();
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;

  // Whether one of them came since the watch began.
  static bool Interrupted();

 private:
  static constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};
  struct sigaction previous_[std::size(kSignals)] {};
};

}  // namespace postrider::cli
