#include "app/qt_user_prompts.h"

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

namespace {

bool Ask(QWidget* parent, const std::string& question, QMessageBox::StandardButton byDefault) {
  QMessageBox box(QMessageBox::Question, kTitle, ShownText(question),
                  QMessageBox::Yes | QMessageBox::No, parent);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(byDefault);
  box.setEscapeButton(QMessageBox::No);
  return box.exec() == QMessageBox::Yes;
}

}  // namespace

bool QtUserPrompts::AskYesNo(const std::string& question) {
  return Ask(parent_, question, QMessageBox::Yes);
}

bool QtUserPrompts::AskYesNoDefaultNo(const std::string& question) {
  return Ask(parent_, question, QMessageBox::No);
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
