#include "send/send_pace.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "platform/ascii_text.h"

namespace postrider {
namespace {

// "rate" as a word of its own, so that "generated" or "separate" do not count.
bool HasWord(const std::string& text, std::string_view word) {
  for (std::size_t at = text.find(word); at != std::string::npos;
       at = text.find(word, at + 1)) {
    const std::size_t end = at + word.size();
    const bool startsWord = at == 0 || std::isalpha(static_cast<unsigned char>(text[at - 1])) == 0;
    const bool endsWord =
        end >= text.size() || std::isalpha(static_cast<unsigned char>(text[end])) == 0;
    if (startsWord && endsWord) return true;
  }
  return false;
}

}  // namespace

bool AsksToSlowDown(int code, std::string_view replyText) {
  if (code == 421) return true;
  if (code < 400 || code > 499) return false;
  const std::string text = AsciiLowercase(replyText);
  return text.find("too many") != std::string::npos || text.find("limit") != std::string::npos ||
         text.find("try later") != std::string::npos ||
         text.find("try again later") != std::string::npos || HasWord(text, "rate");
}

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

std::optional<std::chrono::milliseconds> SendPace::BackOffAfter(int result,
                                                               std::string_view replyText) {
  if (!limits_.any() || !AsksToSlowDown(result, replyText)) return std::nullopt;
  if (backOffs_ >= backOff_.attempts) return std::nullopt;
  std::chrono::milliseconds wait = backOff_.first;
  for (int i = 0; i < backOffs_ && wait < backOff_.longest; ++i) wait *= 2;
  ++backOffs_;
  // The count starts afresh after the wait, so the run does not make up for it in a burst.
  anchor_.reset();
  return std::min(wait, backOff_.longest);
}

}  // namespace postrider
