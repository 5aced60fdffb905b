#include "app/command_router.h"

namespace postrider {

void CommandRouter::SetTarget(Link link, ICommandTarget* target) {
  targets_[static_cast<std::size_t>(link)] = target;
}

bool CommandRouter::Route(int id) {
  if (!Allows(id)) return false;
  for (ICommandTarget* target : targets_) {
    if (target != nullptr && target->OnCommand(id)) return true;
  }
  return false;
}

CommandState CommandRouter::StateOf(int id) const {
  for (const ICommandTarget* target : targets_) {
    CommandState state;
    if (target != nullptr && target->QueryCommandState(id, state)) return state;
  }
  CommandState unhandled;
  unhandled.enabled = false;
  return unhandled;
}

}  // namespace postrider
