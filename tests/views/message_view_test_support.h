#pragma once

// Shared by the message view's tests: a real document on a real project in a
// temporary folder, with prompts that remember what they were asked.

#include <QByteArray>
#include <QFile>
#include <QString>

#include <string>
#include <vector>

#include "platform/user_prompts.h"
#include "project/postridr_doc.h"
#include "qt_support/test_environment.h"

namespace postrider::testing {

class AnsweringPrompts : public IUserPrompts {
 public:
  void ShowMessage(const std::string& text, MessageIcon) override { messages.push_back(text); }
  bool AskYesNo(const std::string&) override { return false; }
  SaveChoice AskSaveChanges(const std::string& name) override {
    saveQuestions.push_back(name);
    return SaveChoice::No;
  }
  std::optional<std::string> ChooseSavePath(const std::string&) override { return std::nullopt; }

  std::vector<std::string> messages;
  std::vector<std::string> saveQuestions;
};

inline const QByteArray kThreeFieldList =
    "Name\tEmail\tCity\nAda\tada@example.com\tLondon\nAlan\talan@example.org\tManchester\n";

// letter.txt, list.txt and project.prj with its entry state file; the email
// field is the list's second.
inline QString WriteLetterProject(const DesktopTestEnvironment& env, const QByteArray& letter,
                                  const QByteArray& list = kThreeFieldList) {
  env.Write(QStringLiteral("letter.txt"), letter);
  env.Write(QStringLiteral("list.txt"), list);
  env.Write(QStringLiteral("project.prh"), QByteArray(32000, '\0'));
  return env.Write(QStringLiteral("project.prj"),
                   "[Settings]\nMessageFile=letter.txt\nDBFile=list.txt\nDBFileType=0\n"
                   "EmailFieldString=Email\nEmailFieldIndex=1\nHelperFile=project.prh\n"
                   "LastIndexSent=0\n");
}

inline std::string PathOf(const QString& path) { return QFile::encodeName(path).toStdString(); }

inline std::string StdBytes(const QByteArray& bytes) { return bytes.toStdString(); }

}  // namespace postrider::testing
