#pragma once

#include "wizard/wizard_page_dialog.h"

class QButtonGroup;
class QRadioButton;

namespace postrider {

// Last page: whether to show help once the project is made.
class CWizardFinishPage : public CWizardPageDialog {
  Q_OBJECT

 public:
  CWizardFinishPage(WizardFinishPage& answers, QWidget* parent,
                    const ShowHelpFunction& showHelp = {});

  QRadioButton* yesButton() const { return yes_; }
  QRadioButton* noButton() const { return no_; }

 protected:
  void SaveValues() override;
  bool CanGoOn() override { return true; }

 private:
  WizardFinishPage& answers_;
  QButtonGroup* choice_;
  QRadioButton* yes_;
  QRadioButton* no_;
};

}  // namespace postrider
