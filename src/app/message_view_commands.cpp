#include "app/message_view_commands.h"

#include "app/command_ids.h"
#include "project/postridr_doc.h"
#include "views/message_view.h"

namespace postrider {

bool MessageViewCommands::OnCommand(int id) {
  if (document_.IsReadOnly() && id != commands::kEditCopy) {
    return id == commands::kEditUndo || id == commands::kEditCut || id == commands::kEditPaste;
  }
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
      state.enabled = !document_.IsReadOnly() && view_.CanUndo();
      return true;
    case commands::kEditCut:
      state.enabled = !document_.IsReadOnly() && view_.HasTextSelection();
      return true;
    case commands::kEditCopy:
      state.enabled = view_.HasTextSelection();
      return true;
    case commands::kEditPaste:
      state.enabled = !document_.IsReadOnly() && view_.CanPaste();
      return true;
    default:
      return false;
  }
}

}  // namespace postrider
