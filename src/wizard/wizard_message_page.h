#pragma once

#include "wizard/wizard_page_dialog.h"

class QButtonGroup;
class QLineEdit;
class QRadioButton;

namespace postrider {

// First page: a new letter, or an existing letter file to use.
class CWizardMessagePage : public CWizardPageDialog {
  Q_OBJECT

 public:
  CWizardMessagePage(WizardMessagePage& answers, QWidget* parent,
                     const ShowHelpFunction& showHelp = {});

  QRadioButton* newMessageButton() const { return newMessage_; }
  QRadioButton* existingMessageButton() const { return existingMessage_; }
  QLineEdit* pathEdit() const { return path_; }
  QPushButton* browseButton() const { return browse_; }

 protected:
  void SaveValues() override;
  bool CanGoOn() override;

 private:
  void LoadValues();
  void OnChoiceClicked(int choice);
  void OnBrowse();

  WizardMessagePage& answers_;
  QButtonGroup* choice_;
  QRadioButton* newMessage_;
  QRadioButton* existingMessage_;
  QLineEdit* path_;
  QPushButton* browse_;
};

}  // namespace postrider
