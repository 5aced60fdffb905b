#include "app/qt_user_prompts.h"

#include <QCheckBox>
#include <QMessageBox>

#include "views/display_text.h"
#include "app/project_file_dialogs.h"

namespace postrider {

namespace {

const QString kTitle = QStringLiteral("Postrider");

QMessageBox::Icon BoxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Information:
      return QMessageBox::Information;
    case MessageIcon::Warning:
      return QMessageBox::Warning;
    case MessageIcon::Error:
      return QMessageBox::Critical;
    case MessageIcon::Question:
      return QMessageBox::Question;
    case MessageIcon::None:
      break;
  }
  return QMessageBox::NoIcon;
}

}  // namespace

void QtUserPrompts::ShowMessage(const std::string& text, MessageIcon icon) {
  QMessageBox box(BoxIcon(icon), kTitle, ShownText(text), QMessageBox::Ok, parent_);
  // Paths and list values are shown as they are, never as markup.
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

bool QtUserPrompts::AskYesNo(const std::string& question) {
  QMessageBox box(QMessageBox::Question, kTitle, ShownText(question),
                  QMessageBox::Yes | QMessageBox::No, parent_);
  box.setTextFormat(Qt::PlainText);
  // Enter must not do what cannot be taken back (the resume question's Yes
  // mails everyone the last run reached again).
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

bool QtUserPrompts::ConfirmSend(const std::string& question) {
  if (askBeforeSending_ != nullptr && !*askBeforeSending_) return true;
  QMessageBox box(QMessageBox::Question, kTitle, ShownText(question),
                  QMessageBox::Yes | QMessageBox::No, parent_);
  box.setTextFormat(Qt::PlainText);
  // Enter on a menu item that was not meant must not send.
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  auto* dontAsk = new QCheckBox(QStringLiteral("&Do not ask again"), &box);
  dontAsk->setAccessibleName(QStringLiteral("Do not ask again"));
  box.setCheckBox(dontAsk);
  const bool yes = box.exec() == QMessageBox::Yes;
  // A No with the box ticked keeps asking: the user has just stopped a send.
  if (yes && dontAsk->isChecked() && askBeforeSending_ != nullptr) *askBeforeSending_ = false;
  return yes;
}

SaveChoice QtUserPrompts::AskSaveChanges(const std::string& documentName) {
  QMessageBox box(QMessageBox::Warning, kTitle,
                  QStringLiteral("Save changes to %1?").arg(ShownText(documentName)),
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, parent_);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::Cancel);
  switch (box.exec()) {
    case QMessageBox::Yes:
      return SaveChoice::Yes;
    case QMessageBox::No:
      return SaveChoice::No;
    default:
      return SaveChoice::Cancel;
  }
}

std::optional<std::string> QtUserPrompts::ChooseSavePath(const std::string& suggestedName) {
  std::optional<QString> chosen = ChooseProjectToSave(parent_, ShownPath(suggestedName));
  if (!chosen) return std::nullopt;
  return PathBytes(*chosen);
}

}  // namespace postrider
