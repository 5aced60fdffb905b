#pragma once

#include <optional>
#include <string>

namespace postrider {

enum class MessageIcon { None, Information, Warning, Error, Question };
enum class SaveChoice { Yes, No, Cancel };

// What the core asks of the person in front of the program: the desktop shows
// message boxes, the command line prints and answers from its flags, tests record.
class IUserPrompts {
 public:
  virtual ~IUserPrompts() = default;

  // A message box with an OK button.
  virtual void ShowMessage(const std::string& text, MessageIcon icon = MessageIcon::None) = 0;
  // A question with Yes and No buttons; true for Yes.
  virtual bool AskYesNo(const std::string& question) = 0;
  // The same for a question whose Yes mails people again: No is the default
  // button, so that Enter pressed by habit never says Yes.
  virtual bool AskYesNoDefaultNo(const std::string& question) { return AskYesNo(question); }
  // Whether to save a modified project before it is closed.
  virtual SaveChoice AskSaveChanges(const std::string& documentName) = 0;
  // A file name to save an untitled project under; nothing when the user cancels.
  virtual std::optional<std::string> ChooseSavePath(const std::string& suggestedName) = 0;
};

}  // namespace postrider
