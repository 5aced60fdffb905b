#include "project/project_wizard.h"

#include <unistd.h>

#include "platform/file_open.h"
#include "project/mailing_list.h"
#include "project/project_texts.h"

namespace postrider {

namespace {

bool CanOpenForReading(const std::string& path) {
  const int fd = OpenFileForReading(path);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

}  // namespace

std::optional<std::string> CheckMessagePage(const WizardMessagePage& page) {
  if (page.messageChoice == WizardMessagePage::kExistingMessage &&
      !CanOpenForReading(page.messageFilePath)) {
    return std::string(texts::kInvalidMessageFileName);
  }
  return std::nullopt;
}

std::optional<std::string> CheckListPage(const WizardListPage& page) {
  if (!CanOpenForReading(page.listFilePath)) return std::string(texts::kInvalidDatabaseFileName);
  if (std::string problem = ListEncodingProblem(page.listFilePath); !problem.empty()) {
    return problem;
  }
  return std::nullopt;
}

bool CheckEmailFieldPage(const WizardEmailFieldPage& page) {
  return page.emailFieldIndex >= 0 &&
         static_cast<std::size_t>(page.emailFieldIndex) < page.fieldNames.size();
}

}  // namespace postrider
