#include "wizard/wizard_finish_page.h"

#include <QButtonGroup>
#include <QPushButton>
#include <QRadioButton>

namespace postrider {

CWizardFinishPage::CWizardFinishPage(WizardFinishPage& answers, QWidget* parent,
                                     const ShowHelpFunction& showHelp)
    : CWizardPageDialog(parent, QStringLiteral(":/pictures/wizard-finish.svg"), {175, 214},
                        showHelp),
      answers_(answers),
      choice_(new QButtonGroup(this)),
      yes_(new QRadioButton(QStringLiteral("Yes"), this)),
      no_(new QRadioButton(QStringLiteral("No"), this)) {
  AddText(QStringLiteral("Those are all the answers the Postrider Wizard needs to create your "
                         "new electronic mail merge project."),
          130, 13, 141, 30);
  AddText(QStringLiteral("Would you like to display help after the new project is created?"), 130,
          50, 141, 19);
  Place(yes_, 145, 73, 35, 10);
  Place(no_, 145, 86, 35, 10);
  Name(yes_, QStringLiteral("Yes, display help"));
  Name(no_, QStringLiteral("No help"));
  nextButton()->setText(QStringLiteral("Finish"));
  Name(nextButton(), QStringLiteral("Finish"));

  choice_->addButton(yes_, WizardFinishPage::kShowHelp);
  choice_->addButton(no_, WizardFinishPage::kNoHelp);
  (answers_.showHelpChoice == WizardFinishPage::kShowHelp ? yes_ : no_)->setChecked(true);
  setTabOrder(yes_, no_);
  (yes_->isChecked() ? yes_ : no_)->setFocus();
}

void CWizardFinishPage::SaveValues() {
  answers_.showHelpChoice =
      yes_->isChecked() ? WizardFinishPage::kShowHelp : WizardFinishPage::kNoHelp;
}

}  // namespace postrider
