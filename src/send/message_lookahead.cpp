#include "send/message_lookahead.h"

#include <utility>

namespace postrider {

const ComposedMessage& MessageLookahead::Take(int entry) {
  if (HasAhead(entry)) {
    std::swap(current_, upcoming_);
  } else if (preparedEntry_ == entry && entry >= 0) {
    std::swap(current_, prepared_);
    preparedEntry_ = -1;
  } else {
    compose_(entry, *current_);
    preparedEntry_ = -1;  // out of turn: what was made ready may be stale
  }
  ahead_ = -1;
  return *current_;
}

const ComposedMessage& MessageLookahead::ComposeAhead(int entry) {
  if (preparedEntry_ == entry && entry >= 0) {
    std::swap(upcoming_, prepared_);
  } else {
    compose_(entry, *upcoming_);
  }
  preparedEntry_ = -1;
  ahead_ = entry;
  return *upcoming_;
}

void MessageLookahead::Prepare(int entry) {
  if (entry < 0 || HasAhead(entry) || preparedEntry_ == entry) return;
  compose_(entry, *prepared_);
  preparedEntry_ = entry;
}

}  // namespace postrider
