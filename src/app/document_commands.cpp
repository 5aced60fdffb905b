#include "app/document_commands.h"

#include "app/attach_file.h"
#include "app/command_ids.h"
#include "dialogs/list_query_dlg.h"
#include "project/postridr_doc.h"

namespace postrider {

bool DocumentCommands::OnCommand(int id) {
  switch (id) {
    case commands::kFileSave:
      OnFileSave();
      return true;
    case commands::kFileSaveAs:
      OnFileSaveAs();
      return true;
    case commands::kSelectAll:
      document_.SelectAll();
      return true;
    case commands::kUnselectAll:
      document_.UnselectAll();
      return true;
    case commands::kSelectOnQuery:
      OnSelectOnQuery();
      return true;
    case commands::kAttach:
      AttachFile(document_, prompts_, dialogParent_);
      return true;
    default:
      return false;
  }
}

bool DocumentCommands::QueryCommandState(int id, CommandState& state) const {
  switch (id) {
    case commands::kFileSave:
    case commands::kFileSaveAs:
    case commands::kSelectAll:
    case commands::kUnselectAll:
    case commands::kSelectOnQuery:
    case commands::kAttach:
      // Another program writes a read-only project; nothing here may.
      state.enabled = !document_.IsReadOnly();
      return true;
    default:
      return false;
  }
}

// An untitled project asks for a name first.
bool DocumentCommands::OnFileSave() { return document_.DoSave(document_.GetPathName()); }

bool DocumentCommands::OnFileSaveAs() {
  // A titled project offers its own path, so the dialog opens in its folder.
  const std::string suggested = document_.GetPathName().empty()
                                    ? document_.GetTitle() + ".prj"
                                    : document_.GetPathName();
  std::optional<std::string> chosen = prompts_.ChooseSavePath(suggested);
  if (!chosen || chosen->empty()) return false;
  return document_.DoSave(*chosen);
}

void DocumentCommands::OnSelectOnQuery() {
  // A query reads every row where the list was indexed: a list saved over
  // since would select by other people's values.
  if (refuseStaleList_ && refuseStaleList_()) return;
  RunListQuery(document_, dialogParent_);
}

}  // namespace postrider
