#pragma once

#include <QString>

#include <functional>

#include "project/project_wizard.h"

class QWidget;

namespace postrider {

// The project wizard's four pages as modal dialogs. They only collect the
// answers; the document makes the project from them.
class QtWizardPages : public IProjectWizardPages {
 public:
  // `showHelp` opens a help page; without it the pages' Help buttons are disabled.
  explicit QtWizardPages(QWidget* parent, std::function<void(const QString& page)> showHelp = {});

  WizardPageResult ShowMessagePage(WizardMessagePage& page) override;
  WizardPageResult ShowListPage(WizardListPage& page) override;
  WizardPageResult ShowEmailFieldPage(WizardEmailFieldPage& page) override;
  WizardPageResult ShowFinishPage(WizardFinishPage& page) override;

 private:
  QWidget* parent_;
  std::function<void(const QString& page)> showHelp_;
};

}  // namespace postrider
