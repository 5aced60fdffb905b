#include "qt_support/test_environment.h"

#include <QDir>
#include <QFile>

namespace postrider::testing {

DesktopTestEnvironment::DesktopTestEnvironment() {
  qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir_.filePath(QStringLiteral("config"))));
  qputenv("XDG_STATE_HOME", QFile::encodeName(dir_.filePath(QStringLiteral("state"))));
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
