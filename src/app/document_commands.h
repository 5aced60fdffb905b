#pragma once

#include <functional>
#include <utility>

#include "app/command_target.h"

class QWidget;

namespace postrider {

class CPostridrDoc;
class IUserPrompts;

// The document's link in the command chain: Save, Save As, the list's
// selection commands and Attach....
class DocumentCommands : public ICommandTarget {
 public:
  // `dialogParent` is the window the List Query and Attach dialogs open over.
  DocumentCommands(CPostridrDoc& document, IUserPrompts& prompts, QWidget* dialogParent = nullptr)
      : document_(document), prompts_(prompts), dialogParent_(dialogParent) {}

  // Asked before a command that reads the list's rows; true refuses it
  // (having told the user why).
  void SetListCheck(std::function<bool()> refuse) { refuseStaleList_ = std::move(refuse); }

  bool OnCommand(int id) override;
  bool QueryCommandState(int id, CommandState& state) const override;

  bool OnFileSave();
  bool OnFileSaveAs();
  // The List Query dialog.
  void OnSelectOnQuery();

 private:
  CPostridrDoc& document_;
  IUserPrompts& prompts_;
  QWidget* dialogParent_;
  std::function<bool()> refuseStaleList_;
};

}  // namespace postrider
