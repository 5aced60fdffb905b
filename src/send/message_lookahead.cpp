#include "send/message_lookahead.h"

#include <utility>

namespace postrider {

const ComposedMessage& MessageLookahead::Take(int entry) {
  if (HasAhead(entry)) {
    std::swap(current_, upcoming_);
  } else {
    compose_(entry, *current_);
  }
  ahead_ = -1;
  return *current_;
}

const ComposedMessage& MessageLookahead::ComposeAhead(int entry) {
  compose_(entry, *upcoming_);
  ahead_ = entry;
  return *upcoming_;
}

}  // namespace postrider
