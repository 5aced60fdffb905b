#include "cli/interrupt_watch.h"

#include <chrono>
#include <csignal>
#include <optional>

#include "platform/blocking_call.h"

namespace postrider::cli {
namespace {

volatile std::sig_atomic_t pending = 0;  // not yet acted on
volatile std::sig_atomic_t seen = 0;
volatile std::sig_atomic_t outputGone = 0;

extern "C" void OnInterrupt(int signal) {
  if (signal == SIGPIPE) {
    if (outputGone != 0) return;
    outputGone = 1;
  }
  pending = 1;
  seen = 1;
}

}  // namespace

InterruptWatch::InterruptWatch(std::function<void()> onInterrupt, bool watchOutput) {
  pending = 0;
  seen = 0;
  outputGone = 0;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  // A write to stderr or the log that the signal interrupts goes on instead
  // of failing, which would lose the rest of the output.
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    sigaction(kSignals[i], nullptr, &previous_[i]);
    if (kSignals[i] == SIGPIPE && !watchOutput) continue;
    // A signal the program was started ignoring stays ignored: under nohup
    // the terminal going away must not pause the send nohup was to finish.
    if (previous_[i].sa_handler == SIG_IGN) continue;
    sigaction(kSignals[i], &action, nullptr);
  }
  using Clock = std::chrono::steady_clock;
  SetBlockingHook([onInterrupt = std::move(onInterrupt),
                   actedAt = std::optional<Clock::time_point>()]() mutable {
    if (pending == 0) return;
    pending = 0;
    // One request often comes as two signals: timeout(1) and a kill of the
    // process group send it to the program and to its group, and a hasty
    // Ctrl+C is pressed twice. Taken as a second request it would cut short
    // the wait for a message the server holds and leave it in doubt.
    const Clock::time_point now = Clock::now();
    if (actedAt && now - *actedAt < kRepeatWindow) return;
    actedAt = now;
    onInterrupt();
  });
}

InterruptWatch::~InterruptWatch() {
  SetBlockingHook({});
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    sigaction(kSignals[i], &previous_[i], nullptr);
  }
}

bool InterruptWatch::Interrupted() { return seen != 0; }

}  // namespace postrider::cli
