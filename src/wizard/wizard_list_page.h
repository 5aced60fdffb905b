#pragma once

#include "wizard/wizard_page_dialog.h"

class QButtonGroup;
class QLineEdit;
class QRadioButton;

namespace postrider {

// Second page: the mailing list's kind and file.
class CWizardListPage : public CWizardPageDialog {
  Q_OBJECT

 public:
  CWizardListPage(WizardListPage& answers, QWidget* parent, const ShowHelpFunction& showHelp = {});

  QRadioButton* tabButton() const { return tab_; }
  QRadioButton* commaButton() const { return comma_; }
  QRadioButton* odbcButton() const { return odbc_; }
  QLineEdit* pathEdit() const { return path_; }
  QPushButton* browseButton() const { return browse_; }

 protected:
  void SaveValues() override;
  bool CanGoOn() override;

 private:
  void LoadValues();
  void OnBrowse();

  WizardListPage& answers_;
  QButtonGroup* kind_;
  QRadioButton* tab_;
  QRadioButton* comma_;
  QRadioButton* odbc_;
  QLineEdit* path_;
  QPushButton* browse_;
};

}  // namespace postrider
