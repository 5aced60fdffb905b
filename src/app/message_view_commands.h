#pragma once

#include "app/command_target.h"

namespace postrider {

class CMessageView;

// The message view's link in the command chain: Undo, Cut, Copy and Paste on
// the message text, enabled as the view says.
class MessageViewCommands : public ICommandTarget {
 public:
  explicit MessageViewCommands(CMessageView& view) : view_(view) {}

  bool OnCommand(int id) override;
  bool QueryCommandState(int id, CommandState& state) const override;

 private:
  CMessageView& view_;
};

}  // namespace postrider
