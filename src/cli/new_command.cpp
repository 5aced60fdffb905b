#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <iostream>
#include <optional>
#include <set>

#include "cli/cli_host.h"
#include "cli/commands.h"
#include "cli/text_escape.h"
#include "platform/ascii_text.h"
#include "platform/file_open.h"
#include "project/postridr_doc.h"
#include "project/project_lock.h"
#include "project/project_paths.h"
#include "project/project_wizard.h"

namespace postrider::cli {

namespace {

struct NewProjectAnswers {
  std::string projectPath;
  std::string listPath;
  int listSourceType = DBTypeTab;
  std::string emailField;
  std::optional<std::string> messagePath;
};

// Answers the wizard's pages from the command line, making the same checks
// the pages make before they go on.
class ScriptedWizardPages : public IProjectWizardPages {
 public:
  explicit ScriptedWizardPages(const NewProjectAnswers& answers) : answers_(answers) {}

  const std::string& problem() const { return problem_; }

  WizardPageResult ShowMessagePage(WizardMessagePage& page) override {
    page.messageChoice = answers_.messagePath ? WizardMessagePage::kExistingMessage
                                              : WizardMessagePage::kNewMessage;
    page.messageFilePath = answers_.messagePath.value_or("");
    return Check(CheckMessagePage(page), page.messageFilePath);
  }
  WizardPageResult ShowListPage(WizardListPage& page) override {
    page.listFilePath = answers_.listPath;
    page.listSourceType = answers_.listSourceType;
    return Check(CheckListPage(page), page.listFilePath);
  }
  WizardPageResult ShowEmailFieldPage(WizardEmailFieldPage& page) override {
    for (std::size_t i = 0; i < page.fieldNames.size(); ++i) {
      if (page.fieldNames[i] == answers_.emailField) {
        page.emailFieldIndex = static_cast<int>(i);
        page.emailFieldName = page.fieldNames[i];
        return WizardPageResult::Next;
      }
    }
    problem_ = "The mailing list has no field named " + answers_.emailField + ".";
    return WizardPageResult::Cancel;
  }
  WizardPageResult ShowFinishPage(WizardFinishPage& page) override {
    page.showHelpChoice = WizardFinishPage::kNoHelp;
    return WizardPageResult::Next;
  }

 private:
  // The page's words, and what is wrong with the file when it cannot be
  // opened: no dialog shows the path here.
  WizardPageResult Check(const std::optional<std::string>& error, const std::string& path) {
    if (!error) return WizardPageResult::Next;
    problem_ = *error;
    const int fd = OpenFileForReading(path);
    if (fd >= 0) {
      ::close(fd);
    } else {
      problem_ += " \"" + EscapeValue(path) + "\": " +
                  (errno == EISDIR ? std::string("it is a folder, not a file")
                                   : DescribeOpenError(errno)) + ".";
    }
    return WizardPageResult::Cancel;
  }

  const NewProjectAnswers& answers_;
  std::string problem_;
};

bool EndsWithProjectExtension(const std::string& path) {
  if (path.size() < 4) return false;
  return AsciiLowercase(std::string_view(path).substr(path.size() - 4)) == ".prj";
}

}  // namespace

int RunNew(const Arguments& args) {
  NewProjectAnswers answers;
  bool projectGiven = false;
  std::set<std::string> given;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    const bool takesValue = arg == "--list" || arg == "--email-field" || arg == "--message";
    if (takesValue && !hasValue) return UsageError(arg + " needs a value");
    // A second value would silently win over the first.
    if (takesValue && given.contains(arg)) return UsageError(arg + " is given twice");
    if (takesValue) given.insert(arg);
    if (arg == "--list") {
      answers.listPath = args[++i];
    } else if (arg == "--comma") {
      answers.listSourceType = DBTypeComma;
    } else if (arg == "--email-field") {
      answers.emailField = args[++i];
    } else if (arg == "--message") {
      answers.messagePath = args[++i];
    } else if (arg.starts_with("--") || projectGiven) {
      return UsageError("unexpected argument: " + arg);
    } else if (arg.empty()) {
      return UsageError("PROJECT is an empty path");
    } else {
      answers.projectPath = arg;
      projectGiven = true;
    }
  }
  if (answers.projectPath.empty() || answers.listPath.empty() || answers.emailField.empty()) {
    return UsageError("new needs PROJECT, --list FILE and --email-field NAME");
  }
  // As the save dialog would, give the project its extension.
  if (!EndsWithProjectExtension(answers.projectPath)) answers.projectPath += ".prj";
  // The lock is held from the look below to the end of the save: a second
  // new of the same name that looked in between would save over this one.
  ProjectLockAttempt lock = ProjectLock::Take(answers.projectPath);
  if (lock.holder) {
    std::cerr << "postrider-cli: " << ProjectInUseText(answers.projectPath, *lock.holder) << '\n';
    return kExitFailed;
  }
  if (lock.blocked) {
    std::cerr << "postrider-cli: " << lock.problem << '\n';
    return kExitFailed;
  }
  // Nobody is asked here whether to replace a project, and one replaced loses
  // the record of whom it has mailed.
  for (const std::string& path :
       {answers.projectPath, ReplaceLastThree(answers.projectPath, "prh")}) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0) continue;
    std::cerr << "postrider-cli: " << path << " already exists; give the new project a name no "
              << "file has yet.\n";
    return kExitFailed;
  }

  CliDocument cli;
  // Without a lock of its own here (a folder where none can be made), the
  // save tries to take one: a project of that name another program has open
  // is not saved over.
  cli.document.SetProjectAccess(lock.lock ? ProjectAccess::Unlocked : ProjectAccess::Exclusive);
  ScriptedWizardPages pages(answers);
  if (!cli.document.OnNewDocument(pages)) {
    std::cerr << "postrider-cli: " << pages.problem() << '\n';
    return kExitFailed;
  }
  if (!cli.document.OnSaveDocument(answers.projectPath)) return kExitFailed;
  return kExitOk;
}

}  // namespace postrider::cli
