#pragma once

#include <QString>
#include <QTemporaryDir>

#include <string>

namespace postrider::testing {

// Points the user's settings and state folders at a fresh temporary folder,
// so a Qt test never reads or writes the real user's files. Make one before
// anything reads the settings.
class DesktopTestEnvironment {
 public:
  DesktopTestEnvironment();

  QString path() const { return dir_.path(); }
  // A file name inside the folder.
  QString File(const QString& name) const { return dir_.filePath(name); }
  // Writes bytes to a file in the folder and returns its path.
  QString Write(const QString& name, const QByteArray& bytes) const;
  // Copies the example project (letter, both lists, both project files) here.
  void CopyExampleProject() const;
  // The user's settings for a send to `server`: the sender, the server and,
  // unless asked for, no question before the run.
  void WriteSendingSettings(const std::string& server, bool askBeforeSending = false) const;

 private:
  QTemporaryDir dir_;
};

QByteArray ReadBytes(const QString& path);

}  // namespace postrider::testing
