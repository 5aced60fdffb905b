#pragma once

#include <chrono>
#include <functional>
#include <optional>

#include "smtp/smtp_outcome.h"

namespace postrider {

// The limits a provider may set on a sender; 0 means none.
struct PaceLimits {
  int messagesPerMinute = 0;      // at most so many messages begin in a minute
  int messagesPerConnection = 0;  // then QUIT, and the run goes on over a new connection
  bool any() const { return messagesPerMinute > 0 || messagesPerConnection > 0; }
};

// How long to wait for a server that says it is busy, before connecting
// again: `first`, doubled each time up to `longest`, at most `attempts`
// times in a row without a message getting through.
struct PaceBackOff {
  std::chrono::milliseconds first{std::chrono::seconds(15)};
  std::chrono::milliseconds longest{std::chrono::seconds(60)};
  int attempts = 5;
};

// When each message of a run may go, and when its connection must be made
// anew. Message k goes no earlier than k minutes/N after the first, counted
// from the first so that rounding and small delays do not add up; a run that
// fell more than one message behind starts counting afresh rather than
// catching up in a burst.
class SendPace {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;

  explicit SendPace(PaceLimits limits, PaceBackOff backOff = {}, Clock clock = {});

  const PaceLimits& limits() const { return limits_; }

  // How long the next message must wait for its turn (zero: it may go now).
  std::chrono::nanoseconds WaitForTurn() const;
  // The next message goes now.
  void MessageStarted();

  // The connection has carried its share: make a new one before the next.
  bool ConnectionFull() const;
  // A new connection carries nothing yet.
  void Connected();

  // After a message or a connection failed with `outcome`: how long to wait
  // before connecting again and sending the same message once more. Only a
  // refusal for now is waited for (421, or any other 4xx whose enhanced
  // status code, where it has one, is of class 4 too), whatever its words:
  // servers word their limits each their own way ("450 4.7.1 Error: too
  // much mail from ..."). None: the run stops as it would without limits,
  // which is always so when no limit is in force, and once the server was
  // waited for `attempts` times in a row.
  std::optional<std::chrono::milliseconds> BackOffAfter(const SmtpOutcome& outcome);
  // The message's outcome is known: a later back-off starts from `first`.
  void Settled() { backOffs_ = 0; }
  // How many times in a row the server has been waited for.
  int backOffsInARow() const { return backOffs_; }

 private:
  std::chrono::steady_clock::time_point Now() const;
  std::chrono::nanoseconds Interval() const;
  std::chrono::steady_clock::time_point Slot() const;

  PaceLimits limits_;
  PaceBackOff backOff_;
  Clock clock_;
  std::optional<std::chrono::steady_clock::time_point> anchor_;  // the first message's start
  long long started_ = 0;  // messages begun since the anchor
  int carried_ = 0;        // messages begun over this connection
  int backOffs_ = 0;       // back-offs in a row
};

}  // namespace postrider
