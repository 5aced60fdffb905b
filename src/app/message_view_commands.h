#pragma once

#include "app/command_target.h"

namespace postrider {

class CMessageView;
class CPostridrDoc;

// The message view's link in the command chain: Undo, Cut, Copy and Paste on
// the message text, enabled as the view says; a read-only project's letter
// can only be copied from.
class MessageViewCommands : public ICommandTarget {
 public:
  MessageViewCommands(CMessageView& view, const CPostridrDoc& document)
      : view_(view), document_(document) {}

  bool OnCommand(int id) override;
  bool QueryCommandState(int id, CommandState& state) const override;

 private:
  CMessageView& view_;
  const CPostridrDoc& document_;
};

}  // namespace postrider
