#include "send/send_pace.h"

#include <algorithm>

namespace postrider {

SendPace::SendPace(PaceLimits limits, PaceBackOff backOff, Clock clock)
    : limits_(limits), backOff_(backOff), clock_(std::move(clock)) {
  limits_.messagesPerMinute = std::max(limits_.messagesPerMinute, 0);
  limits_.messagesPerConnection = std::max(limits_.messagesPerConnection, 0);
}

std::chrono::steady_clock::time_point SendPace::Now() const {
  return clock_ ? clock_() : std::chrono::steady_clock::now();
}

std::chrono::nanoseconds SendPace::Interval() const {
  return std::chrono::nanoseconds(std::chrono::minutes(1)) / limits_.messagesPerMinute;
}

std::chrono::steady_clock::time_point SendPace::Slot() const {
  // From the anchor in one product, not a sum of intervals: no rounding adds up.
  const auto sinceAnchor = std::chrono::nanoseconds(
      std::chrono::nanoseconds(std::chrono::minutes(1)).count() * started_ /
      limits_.messagesPerMinute);
  return *anchor_ + sinceAnchor;
}

std::chrono::nanoseconds SendPace::WaitForTurn() const {
  if (limits_.messagesPerMinute <= 0 || !anchor_) return std::chrono::nanoseconds(0);
  return std::max(Slot() - Now(), std::chrono::nanoseconds(0));
}

void SendPace::MessageStarted() {
  ++carried_;
  if (limits_.messagesPerMinute <= 0) return;
  const auto now = Now();
  if (!anchor_ || now > Slot() + Interval()) {
    anchor_ = now;
    started_ = 0;
  }
  ++started_;
}

bool SendPace::ConnectionFull() const {
  return limits_.messagesPerConnection > 0 && carried_ >= limits_.messagesPerConnection;
}

void SendPace::Connected() { carried_ = 0; }

std::optional<std::chrono::milliseconds> SendPace::BackOffAfter(const SmtpOutcome& outcome) {
  if (!limits_.any() || outcome.kind() != SmtpOutcomeKind::RefusedTemporarily) return std::nullopt;
  if (backOffs_ >= backOff_.attempts) return std::nullopt;
  std::chrono::milliseconds wait = backOff_.first;
  for (int i = 0; i < backOffs_ && wait < backOff_.longest; ++i) wait *= 2;
  ++backOffs_;
  // The count starts afresh after the wait, so the run does not make up for it in a burst.
  anchor_.reset();
  return std::min(wait, backOff_.longest);
}

}  // namespace postrider
