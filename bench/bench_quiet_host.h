#pragma once

// A run's surroundings that say nothing: no boxes, no status bar, so that a
// benchmark times the send alone.

#include <optional>
#include <string>

#include "platform/user_prompts.h"
#include "project/document_views.h"

namespace postrider::bench {

class QuietPrompts : public IUserPrompts {
 public:
  void ShowMessage(const std::string&, MessageIcon) override {}
  bool AskYesNo(const std::string&) override { return false; }
  SaveChoice AskSaveChanges(const std::string&) override { return SaveChoice::No; }
  std::optional<std::string> ChooseSavePath(const std::string&) override { return std::nullopt; }
};

class QuietFrame : public IMainFrame {
 public:
  void AttachDocument(CPostridrDoc*) override {}
  void SetCurrentProjectPath(const std::string&) override {}
  void ShowSelectedCount(long) override {}
  void SetStatusText(const std::string&) override {}
  void ShowHelpContents() override {}
};

}  // namespace postrider::bench
