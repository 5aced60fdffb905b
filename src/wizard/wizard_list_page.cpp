#include "wizard/wizard_list_page.h"

#include <QButtonGroup>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace postrider {

CWizardListPage::CWizardListPage(WizardListPage& answers, QWidget* parent,
                                 const ShowHelpFunction& showHelp)
    : CWizardPageDialog(parent, QStringLiteral(":/pictures/wizard-list.svg"), {175, 215}, showHelp),
      answers_(answers),
      kind_(new QButtonGroup(this)),
      tab_(new QRadioButton(QStringLiteral("Tab Delimitted Text"), this)),
      comma_(new QRadioButton(QStringLiteral("Comma Delimitted Text"), this)),
      odbc_(new QRadioButton(QStringLiteral("ODBC Compliant Database"), this)),
      path_(new QLineEdit(this)),
      browse_(new QPushButton(QStringLiteral("Browse"), this)) {
  AddText(QStringLiteral("Select a database type and file that contains your mailing list."), 130,
          15, 146, 22);
  Place(tab_, 130, 51, 94, 10);
  Place(comma_, 130, 64, 94, 10);
  Place(odbc_, 130, 77, 115, 10);
  Place(path_, 130, 94, 107, 13);
  Place(browse_, 240, 93, 35, 14);
  Name(tab_, tab_->text());
  Name(comma_, comma_->text());
  Name(odbc_, odbc_->text());
  Name(path_, QStringLiteral("Mailing list file"));
  Name(browse_, QStringLiteral("Browse for the mailing list file"));
  browse_->setAutoDefault(false);

  kind_->addButton(tab_, DBTypeTab);
  kind_->addButton(comma_, DBTypeComma);
  kind_->addButton(odbc_, DBTypeODBC);
  // Shown, but there is no reader for it.
  odbc_->setEnabled(false);
  connect(browse_, &QPushButton::clicked, this, &CWizardListPage::OnBrowse);

  LoadValues();
  setTabOrder(tab_, comma_);
  setTabOrder(comma_, path_);
  setTabOrder(path_, browse_);
  (comma_->isChecked() ? comma_ : tab_)->setFocus();
}

void CWizardListPage::LoadValues() {
  QAbstractButton* chosen = kind_->button(answers_.listSourceType);
  if (chosen == nullptr || !chosen->isEnabled()) chosen = tab_;
  chosen->setChecked(true);
  path_->setText(WizardPathText(answers_.listFilePath));
}

void CWizardListPage::SaveValues() {
  const int kind = kind_->checkedId();
  answers_.listSourceType = kind == DBTypeComma ? DBTypeComma : DBTypeTab;
  answers_.listFilePath = WizardPathBytes(path_->text());
}

void CWizardListPage::OnBrowse() {
  SaveValues();
  // A list must exist, and may be a .csv as well as a .txt.
  const std::optional<QString> chosen =
      BrowseForExistingFile(QStringLiteral("Select Database File"),
                            QStringLiteral("Lists (*.txt *.csv *.tsv);;All files (*)"),
                            path_->text());
  if (!chosen) return;
  answers_.listFilePath = WizardPathBytes(*chosen);
  LoadValues();
}

bool CWizardListPage::CanGoOn() {
  if (const std::optional<std::string> problem = CheckListPage(answers_)) {
    ShowMessage(*problem);
    return false;
  }
  return true;
}

}  // namespace postrider
