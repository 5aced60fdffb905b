#include "wizard/wizard_message_page.h"

#include <QButtonGroup>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace postrider {

CWizardMessagePage::CWizardMessagePage(WizardMessagePage& answers, QWidget* parent,
                                       const ShowHelpFunction& showHelp)
    : CWizardPageDialog(parent, QStringLiteral(":/pictures/wizard-message.svg"), {}, showHelp),
      answers_(answers),
      choice_(new QButtonGroup(this)),
      newMessage_(new QRadioButton(QStringLiteral("New Message"), this)),
      existingMessage_(new QRadioButton(QStringLiteral("Existing Message"), this)),
      path_(new QLineEdit(this)),
      browse_(new QPushButton(QStringLiteral("Browse"), this)) {
  AddText(QStringLiteral("The Postrider Project Wizard will guide you in creating a new "
                         "electronic mail merge project."),
          130, 8, 145, 28);
  AddText(QStringLiteral("Select a message file:"), 130, 47, 145, 9);
  Place(newMessage_, 130, 64, 94, 10);
  Place(existingMessage_, 130, 79, 89, 10);
  Place(path_, 130, 93, 107, 13);
  Place(browse_, 240, 92, 35, 14);
  Name(newMessage_, newMessage_->text());
  Name(existingMessage_, existingMessage_->text());
  Name(path_, QStringLiteral("Message file"));
  Name(browse_, QStringLiteral("Browse for the message file"));
  browse_->setAutoDefault(false);

  choice_->addButton(newMessage_, WizardMessagePage::kNewMessage);
  choice_->addButton(existingMessage_, WizardMessagePage::kExistingMessage);
  connect(choice_, &QButtonGroup::idClicked, this, &CWizardMessagePage::OnChoiceClicked);
  connect(browse_, &QPushButton::clicked, this, &CWizardMessagePage::OnBrowse);

  // There is no page before this one.
  backButton()->setEnabled(false);

  LoadValues();
  // Hidden at every showing, whatever the remembered choice: clicking
  // "Existing Message" shows them.
  path_->hide();
  browse_->hide();
  setTabOrder(newMessage_, existingMessage_);
  setTabOrder(existingMessage_, path_);
  setTabOrder(path_, browse_);
  newMessage_->setFocus();
}

void CWizardMessagePage::LoadValues() {
  QAbstractButton* chosen = choice_->button(answers_.messageChoice);
  if (chosen != nullptr) chosen->setChecked(true);
  path_->setText(WizardPathText(answers_.messageFilePath));
}

void CWizardMessagePage::SaveValues() {
  answers_.messageChoice = existingMessage_->isChecked() ? WizardMessagePage::kExistingMessage
                                                         : WizardMessagePage::kNewMessage;
  answers_.messageFilePath = WizardPathBytes(path_->text());
}

void CWizardMessagePage::OnChoiceClicked(int choice) {
  answers_.messageChoice = choice;
  const bool existing = choice == WizardMessagePage::kExistingMessage;
  path_->setVisible(existing);
  browse_->setVisible(existing);
}

void CWizardMessagePage::OnBrowse() {
  SaveValues();
  const std::optional<QString> chosen =
      BrowseForFile(QStringLiteral("Select Message File"),
                    QStringLiteral("Message Files (*.txt);;All Files (*)"), path_->text());
  if (!chosen) return;
  answers_.messageFilePath = WizardPathBytes(*chosen);
  LoadValues();
}

bool CWizardMessagePage::CanGoOn() {
  if (const std::optional<std::string> problem = CheckMessagePage(answers_)) {
    ShowMessage(*problem);
    return false;
  }
  return true;
}

}  // namespace postrider
