#pragma once

#include <optional>
#include <string>
#include <vector>

#include "project/list_source_type.h"

namespace postrider {

enum class WizardPageResult { Cancel, Back, Next };

// What each wizard page holds. A page object lives for the whole wizard, so
// going Back shows what the user left there.
struct WizardMessagePage {
  static constexpr int kNewMessage = 0;
  static constexpr int kExistingMessage = 1;
  int messageChoice = kNewMessage;
  std::string messageFilePath;
};

struct WizardListPage {
  std::string listFilePath;
  int listSourceType = DBTypeTab;
};

struct WizardEmailFieldPage {
  std::vector<std::string> fieldNames;  // given by the wizard at each showing
  std::string emailFieldName;
  int emailFieldIndex = -1;  // -1 until the user picks a field
};

struct WizardFinishPage {
  static constexpr int kShowHelp = 0;
  static constexpr int kNoHelp = 1;
  int showHelpChoice = kNoHelp;
};

// Shows the pages; the desktop runs dialogs, the command line answers from
// its arguments. Each call is one modal run of the page.
class IProjectWizardPages {
 public:
  virtual ~IProjectWizardPages() = default;
  virtual WizardPageResult ShowMessagePage(WizardMessagePage& page) = 0;
  virtual WizardPageResult ShowListPage(WizardListPage& page) = 0;
  virtual WizardPageResult ShowEmailFieldPage(WizardEmailFieldPage& page) = 0;
  virtual WizardPageResult ShowFinishPage(WizardFinishPage& page) = 0;
};

// The checks a page makes on Next; the text is what the page shows when it
// will not go on.
std::optional<std::string> CheckMessagePage(const WizardMessagePage& page);
std::optional<std::string> CheckListPage(const WizardListPage& page);
// No text: without a chosen field the page simply stays.
bool CheckEmailFieldPage(const WizardEmailFieldPage& page);

}  // namespace postrider
