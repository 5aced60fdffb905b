#include "wizard/wizard_pages.h"

#include "wizard/wizard_email_field_page.h"
#include "wizard/wizard_finish_page.h"
#include "wizard/wizard_list_page.h"
#include "wizard/wizard_message_page.h"

namespace postrider {

QtWizardPages::QtWizardPages(QWidget* parent, std::function<void(const QString& page)> showHelp)
    : parent_(parent), showHelp_(std::move(showHelp)) {}

// Each showing is a dialog of its own, filled from the answers the page last
// held, and gone when it ends.
WizardPageResult QtWizardPages::ShowMessagePage(WizardMessagePage& page) {
  CWizardMessagePage dialog(page, parent_, showHelp_);
  return dialog.RunModal();
}

WizardPageResult QtWizardPages::ShowListPage(WizardListPage& page) {
  CWizardListPage dialog(page, parent_, showHelp_);
  return dialog.RunModal();
}

WizardPageResult QtWizardPages::ShowEmailFieldPage(WizardEmailFieldPage& page) {
  CWizardEmailFieldPage dialog(page, parent_, showHelp_);
  return dialog.RunModal();
}

WizardPageResult QtWizardPages::ShowFinishPage(WizardFinishPage& page) {
  CWizardFinishPage dialog(page, parent_, showHelp_);
  return dialog.RunModal();
}

}  // namespace postrider
