#pragma once

#include <QPointer>
#include <QWidget>

#include "platform/user_prompts.h"

namespace postrider {

// The core's questions and messages as the desktop's message boxes and file
// dialog, titled "Postrider", over the main window.
class QtUserPrompts : public IUserPrompts {
 public:
  explicit QtUserPrompts(QWidget* parent) : parent_(parent) {}

  void ShowMessage(const std::string& text, MessageIcon icon = MessageIcon::None) override;
  bool AskYesNo(const std::string& question) override;
  bool AskYesNoDefaultNo(const std::string& question) override;
  SaveChoice AskSaveChanges(const std::string& documentName) override;
  std::optional<std::string> ChooseSavePath(const std::string& suggestedName) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace postrider
