#include "wizard/wizard_email_field_page.h"

#include <QListWidget>

#include "views/display_text.h"

namespace postrider {

CWizardEmailFieldPage::CWizardEmailFieldPage(WizardEmailFieldPage& answers, QWidget* parent,
                                             const ShowHelpFunction& showHelp)
    : CWizardPageDialog(parent, QStringLiteral(":/pictures/wizard-email-field.svg"), {}, showHelp),
      answers_(answers),
      fields_(new QListWidget(this)) {
  AddText(QStringLiteral("Select the field in your database which contains the email address."),
          130, 12, 146, 23);
  Place(fields_, 142, 49, 124, 65);
  Name(fields_, QStringLiteral("Email address field"));
  fields_->setSelectionMode(QAbstractItemView::SingleSelection);
  fields_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  fields_->setSortingEnabled(false);

  // Filled anew at each showing, in list order, with nothing chosen.
  for (const std::string& name : answers_.fieldNames) fields_->addItem(ShownText(name));
  fields_->clearSelection();
  fields_->setCurrentRow(-1);
  fields_->setFocus();
  // An empty list (or one whose first line is blank) names no field: an
  // empty box and a Next that does nothing would not say why.
  if (answers_.fieldNames.empty()) {
    fields_->hide();
    AddText(QStringLiteral("The mailing list names no fields: its first line is empty. "
                           "Choose \"< Back\" to pick another list."),
            142, 49, 124, 65);
  }
}

void CWizardEmailFieldPage::SaveValues() {
  const QList<QListWidgetItem*> chosen = fields_->selectedItems();
  const int row = chosen.isEmpty() ? -1 : fields_->row(chosen.front());
  answers_.emailFieldIndex = row;
  // The list's own bytes, not the text shown for them.
  answers_.emailFieldName = row >= 0 && static_cast<std::size_t>(row) < answers_.fieldNames.size()
                                ? answers_.fieldNames[static_cast<std::size_t>(row)]
                                : std::string();
}

// Without a chosen field the page simply stays.
bool CWizardEmailFieldPage::CanGoOn() { return CheckEmailFieldPage(answers_); }

}  // namespace postrider
