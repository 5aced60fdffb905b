#pragma once

#include <string>

#include "platform/user_prompts.h"
#include "project/document_views.h"

namespace postrider::cli {

// Message boxes become lines on stderr; questions take the answer the
// command line was given.
class CliPrompts : public IUserPrompts {
 public:
  void ShowMessage(const std::string& text, MessageIcon icon) override;
  bool AskYesNo(const std::string& question) override;
  SaveChoice AskSaveChanges(const std::string& documentName) override;
  std::optional<std::string> ChooseSavePath(const std::string& suggestedName) override;

  void SetYesNoAnswer(bool yes) { yesNoAnswer_ = yes; }
  int messagesShown() const { return messagesShown_; }

 private:
  bool yesNoAnswer_ = false;
  int messagesShown_ = 0;
};

// The main window's side, without a window: progress texts go to stderr.
class CliFrame : public IMainFrame {
 public:
  void AttachDocument(CPostridrDoc*) override {}
  void SetCurrentProjectPath(const std::string&) override {}
  void ShowSelectedCount(long) override {}
  void SetStatusText(const std::string& text) override;
  void ShowHelpContents() override {}

  void SetEchoStatus(bool echo) { echoStatus_ = echo; }
  const std::string& statusText() const { return statusText_; }

 private:
  bool echoStatus_ = false;
  std::string statusText_;
};

}  // namespace postrider::cli
