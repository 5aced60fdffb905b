#pragma once

#include <functional>

#include "send/message_composer.h"

namespace postrider {

// The run's composition buffers: while one message goes out, the next
// selected entry's is composed, so that its commands can go behind this
// one's end of data (PIPELINING) and it need not be composed twice; and
// while the server works on a message, the one after is made ready, so
// that composing it does not hold up the round trip.
class MessageLookahead {
 public:
  using Compose = std::function<void(int entry, ComposedMessage& out)>;

  explicit MessageLookahead(Compose compose) : compose_(std::move(compose)) {}

  // Whether `entry`'s message was composed ahead.
  bool HasAhead(int entry) const { return ahead_ == entry && entry >= 0; }
  // The message for `entry`, from now on the current one: the one composed
  // ahead when it was this entry's, else composed now.
  const ComposedMessage& Take(int entry);
  // Composes `entry`'s message ahead, while the current one goes out.
  const ComposedMessage& ComposeAhead(int entry);
  // Composes `entry`'s message for the next ComposeAhead (or Take), leaving
  // the current message and the one ahead as they are; any other entry's
  // composing drops it, so it is never older than the one ahead.
  void Prepare(int entry);
  // Nothing is composed ahead any more.
  void DropAhead() { ahead_ = -1; }

  const ComposedMessage& current() const { return *current_; }

 private:
  Compose compose_;
  ComposedMessage buffers_[3];
  ComposedMessage* current_ = &buffers_[0];
  ComposedMessage* upcoming_ = &buffers_[1];
  ComposedMessage* prepared_ = &buffers_[2];
  int ahead_ = -1;          // the entry composed in *upcoming_, -1 for none
  int preparedEntry_ = -1;  // the entry composed in *prepared_, -1 for none
};

}  // namespace postrider
