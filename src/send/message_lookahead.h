#pragma once

#include <functional>

#include "send/message_composer.h"

namespace postrider {

// The run's two composition buffers: while one message goes out, the next
// selected entry's is composed, so that its commands can go behind this
// one's end of data (PIPELINING) and it need not be composed twice.
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
  // Nothing is composed ahead any more.
  void DropAhead() { ahead_ = -1; }

  const ComposedMessage& current() const { return *current_; }

 private:
  Compose compose_;
  ComposedMessage buffers_[2];
  ComposedMessage* current_ = &buffers_[0];
  ComposedMessage* upcoming_ = &buffers_[1];
  int ahead_ = -1;  // the entry composed in *upcoming_, -1 for none
};

}  // namespace postrider
