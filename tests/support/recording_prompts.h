#pragma once

#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/user_prompts.h"

namespace postrider::testing {

// IUserPrompts for tests: records everything the code under test shows or
// asks, and answers from what the test set up.
class RecordingPrompts : public IUserPrompts {
 public:
  struct Message {
    std::string text;
    MessageIcon icon;
  };

  void ShowMessage(const std::string& text, MessageIcon icon = MessageIcon::None) override;
  // Answers from the queued answers in order, then with the default answer.
  bool AskYesNo(const std::string& question) override;
  // Recorded apart from the other questions; Yes unless the test says No.
  bool ConfirmSend(const std::string& question) override;
  SaveChoice AskSaveChanges(const std::string& documentName) override;
  std::optional<std::string> ChooseSavePath(const std::string& suggestedName) override;

  void QueueYesNoAnswer(bool answer) { yesNoAnswers_.push_back(answer); }
  void SetDefaultYesNoAnswer(bool answer) { defaultYesNoAnswer_ = answer; }
  void SetConfirmSendAnswer(bool answer) { confirmSendAnswer_ = answer; }
  void SetSaveChoice(SaveChoice choice) { saveChoice_ = choice; }
  void SetSavePath(std::optional<std::string> path) { savePath_ = std::move(path); }

  const std::vector<Message>& messages() const { return messages_; }
  // Just the texts of the messages, in order.
  std::vector<std::string> messageTexts() const;
  const std::vector<std::string>& questions() const { return questions_; }
  const std::vector<std::string>& sendQuestions() const { return sendQuestions_; }
  const std::vector<std::string>& saveChangesAsked() const { return saveChangesAsked_; }
  const std::vector<std::string>& savePathsAsked() const { return savePathsAsked_; }
  bool ShowedMessageContaining(std::string_view part) const;
  // Forgets what was recorded; the answers set up stay.
  void ClearRecords();

 private:
  std::vector<Message> messages_;
  std::vector<std::string> questions_;
  std::vector<std::string> sendQuestions_;
  std::vector<std::string> saveChangesAsked_;
  std::vector<std::string> savePathsAsked_;
  std::deque<bool> yesNoAnswers_;
  bool defaultYesNoAnswer_ = false;
  bool confirmSendAnswer_ = true;
  SaveChoice saveChoice_ = SaveChoice::No;
  std::optional<std::string> savePath_;
};

}  // namespace postrider::testing
