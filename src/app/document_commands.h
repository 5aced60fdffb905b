#pragma once

#include "app/command_target.h"

namespace postrider {

class CPostridrDoc;
class IUserPrompts;

// The document's link in the command chain: Save, Save As and the list's
// selection commands.
class DocumentCommands : public ICommandTarget {
 public:
  DocumentCommands(CPostridrDoc& document, IUserPrompts& prompts)
      : document_(document), prompts_(prompts) {}

  bool OnCommand(int id) override;
  bool QueryCommandState(int id, CommandState& state) const override;

  bool OnFileSave();
  bool OnFileSaveAs();
  // The List Query dialog.
  void OnSelectOnQuery();

 private:
  CPostridrDoc& document_;
  IUserPrompts& prompts_;
};

}  // namespace postrider
