#pragma once

#include <array>
#include <functional>

#include "app/command_target.h"

namespace postrider {

// The one place every command passes through, whichever way it arrived
// (menu, toolbar, keyboard, insert-field menu, recent files). It asks the
// gate first, then the active view, the document, the frame and the
// application, in that order.
class CommandRouter {
 public:
  enum class Link { ActiveView, Document, Frame, Application };
  // Consulted before a command is dispatched; false refuses the command.
  // While a send runs, this is where every other command is turned away.
  using Gate = std::function<bool(int id)>;

  void SetTarget(Link link, ICommandTarget* target);
  void SetGate(Gate gate) { gate_ = std::move(gate); }

  // Whether the gate lets the command through now.
  bool Allows(int id) const { return !gate_ || gate_(id); }
  // True when the command was let through and some target handled it.
  bool Route(int id);
  // A command no target handles is shown disabled.
  CommandState StateOf(int id) const;

 private:
  std::array<ICommandTarget*, 4> targets_{};
  Gate gate_;
};

}  // namespace postrider
