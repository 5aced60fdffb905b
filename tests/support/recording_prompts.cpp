#include "support/recording_prompts.h"

namespace postrider::testing {

void RecordingPrompts::ShowMessage(const std::string& text, MessageIcon icon) {
  messages_.push_back({text, icon});
}

bool RecordingPrompts::AskYesNo(const std::string& question) {
  questions_.push_back(question);
  if (yesNoAnswers_.empty()) return defaultYesNoAnswer_;
  const bool answer = yesNoAnswers_.front();
  yesNoAnswers_.pop_front();
  return answer;
}

bool RecordingPrompts::ConfirmSend(const std::string& question) {
  sendQuestions_.push_back(question);
  return confirmSendAnswer_;
}

SaveChoice RecordingPrompts::AskSaveChanges(const std::string& documentName) {
  saveChangesAsked_.push_back(documentName);
  return saveChoice_;
}

std::optional<std::string> RecordingPrompts::ChooseSavePath(const std::string& suggestedName) {
  savePathsAsked_.push_back(suggestedName);
  return savePath_;
}

std::vector<std::string> RecordingPrompts::messageTexts() const {
  std::vector<std::string> texts;
  for (const Message& message : messages_) texts.push_back(message.text);
  return texts;
}

bool RecordingPrompts::ShowedMessageContaining(std::string_view part) const {
  for (const Message& message : messages_) {
    if (message.text.find(part) != std::string::npos) return true;
  }
  return false;
}

void RecordingPrompts::ClearRecords() {
  messages_.clear();
  questions_.clear();
  sendQuestions_.clear();
  saveChangesAsked_.clear();
  savePathsAsked_.clear();
}

}  // namespace postrider::testing
