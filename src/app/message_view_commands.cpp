#include "app/message_view_commands.h"

#include "app/command_ids.h"
#include "views/message_view.h"

namespace postrider {

bool MessageViewCommands::OnCommand(int id) {
  switch (id) {
    case commands::kEditUndo:
      view_.Undo();
      return true;
    case commands::kEditCut:
      view_.Cut();
      return true;
    case commands::kEditCopy:
      view_.Copy();
      return true;
    case commands::kEditPaste:
      view_.Paste();
      return true;
    default:
      return false;
  }
}

bool MessageViewCommands::QueryCommandState(int id, CommandState& state) const {
  switch (id) {
    case commands::kEditUndo:
      state.enabled = view_.CanUndo();
      return true;
    case commands::kEditCut:
    case commands::kEditCopy:
      state.enabled = view_.HasTextSelection();
      return true;
    case commands::kEditPaste:
      state.enabled = view_.CanPaste();
      return true;
    default:
      return false;
  }
}

}  // namespace postrider
