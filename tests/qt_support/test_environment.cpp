#include "qt_support/test_environment.h"

#include <QDir>
#include <QFile>

#include "platform/private_profile.h"
#include "platform/user_paths.h"

namespace postrider::testing {

DesktopTestEnvironment::DesktopTestEnvironment() {
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.filePath(QStringLiteral("config"))));
  qputenv("XDG_STATE_HOME", QFile::encodeName(dir_.filePath(QStringLiteral("state"))));
}

void DesktopTestEnvironment::WriteSendingSettings(const std::string& server,
                                                  bool askBeforeSending) const {
  const std::string settings = SettingsFilePath();
  EnsureParentFolder(settings);
  WritePrivateProfileString("Settings", "RealName", "Harbour Library", settings);
  WritePrivateProfileString("Settings", "ReturnAddress", "library@example.com", settings);
  WritePrivateProfileString("Settings", "SMTPServer", server, settings);
  if (!askBeforeSending) WritePrivateProfileString("Settings", "ConfirmSend", "0", settings);
}

QString DesktopTestEnvironment::Write(const QString& name, const QByteArray& bytes) const {
  const QString path = dir_.filePath(name);
  QFile file(path);
  if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) file.write(bytes);
  return path;
}

void DesktopTestEnvironment::CopyExampleProject() const {
  const QDir examples(QString::fromLocal8Bit(qgetenv("POSTRIDER_SOURCE_DIR")) +
                      QStringLiteral("/examples"));
  for (const QString& name : examples.entryList(QDir::Files)) {
    QFile::copy(examples.filePath(name), dir_.filePath(name));
  }
}

QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return file.readAll();
}

}  // namespace postrider::testing
