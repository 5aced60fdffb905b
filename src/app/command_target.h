#pragma once

namespace postrider {

// What a menu item or toolbar button shows for a command.
struct CommandState {
  bool enabled = true;
  bool checkable = false;
  bool checked = false;
};

// One link of the command chain (active view, document, frame, application).
// A target that handles a command says so; the first one that does wins.
class ICommandTarget {
 public:
  virtual ~ICommandTarget() = default;
  // Runs the command; false when this target does not handle it.
  virtual bool OnCommand(int id) = 0;
  // Fills the state of a command this target handles; false when it does not.
  virtual bool QueryCommandState(int id, CommandState& state) const = 0;
};

}  // namespace postrider
