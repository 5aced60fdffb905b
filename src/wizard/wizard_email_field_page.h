#pragma once

#include "wizard/wizard_page_dialog.h"

class QListWidget;

namespace postrider {

// Third page: which list field holds the e-mail addresses.
class CWizardEmailFieldPage : public CWizardPageDialog {
  Q_OBJECT

 public:
  CWizardEmailFieldPage(WizardEmailFieldPage& answers, QWidget* parent,
                        const ShowHelpFunction& showHelp = {});

  QListWidget* fieldList() const { return fields_; }

 protected:
  void SaveValues() override;
  bool CanGoOn() override;

 private:
  WizardEmailFieldPage& answers_;
  QListWidget* fields_;
};

}  // namespace postrider
