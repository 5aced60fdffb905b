#pragma once

#include <string>
#include <utility>

#include "project/project_wizard.h"

namespace postrider::testing {

// A wizard run that only names a tab-delimited list and takes its second
// field, "Email", for the addresses; every other page goes on unchanged.
class ListOnlyWizardPages : public IProjectWizardPages {
 public:
  explicit ListOnlyWizardPages(std::string listPath) : listPath_(std::move(listPath)) {}

  WizardPageResult ShowMessagePage(WizardMessagePage&) override { return WizardPageResult::Next; }
  WizardPageResult ShowListPage(WizardListPage& page) override {
    page.listFilePath = listPath_;
    page.listSourceType = DBTypeTab;
    return WizardPageResult::Next;
  }
  WizardPageResult ShowEmailFieldPage(WizardEmailFieldPage& page) override {
    page.emailFieldIndex = 1;
    page.emailFieldName = "Email";
    return WizardPageResult::Next;
  }
  WizardPageResult ShowFinishPage(WizardFinishPage&) override { return WizardPageResult::Next; }

 private:
  std::string listPath_;
};

}  // namespace postrider::testing
