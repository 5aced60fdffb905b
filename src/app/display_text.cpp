#include "app/display_text.h"

#include <QFile>
#include <QStringDecoder>

namespace postrider {

QString ShownText(const std::string& bytes) {
  const QByteArray raw = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
  QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
  QString text = utf8(raw);
  if (!utf8.hasError()) return text;
  return QString::fromLatin1(raw);
}

std::string PathBytes(const QString& path) { return QFile::encodeName(path).toStdString(); }

QString ShownPath(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

QString PlainMenuText(QString text) {
  text.replace(QLatin1Char('&'), QStringLiteral("&&"));
  text.replace(QLatin1Char('\t'), QLatin1Char(' '));
  return text;
}

}  // namespace postrider
