#include "views/display_text.h"

#include <QFile>
#include <QTextDocument>

#include "platform/utf8_text.h"

namespace postrider {

namespace {

bool IsAscii(std::string_view bytes) {
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

}  // namespace

QString ShownText(std::string_view bytes) {
  // Rows are painted from here, so plain ASCII takes the short way.
  const auto size = static_cast<qsizetype>(bytes.size());
  if (IsAscii(bytes)) return QString::fromLatin1(bytes.data(), size);
  if (IsValidUtf8(bytes)) return QString::fromUtf8(bytes.data(), size);
  return QString::fromStdString(AsUtf8(bytes));
}

QTextOption::WrapMode WrapModeFor(QStringView text) {
  // Far longer than any word, short enough that wrapping it anywhere is quick.
  constexpr qsizetype kLongestWord = 1000;
  qsizetype word = 0;
  for (const QChar c : text) {
    word = c.isSpace() ? 0 : word + 1;
    if (word > kLongestWord) return QTextOption::WrapAnywhere;
  }
  return QTextOption::WrapAtWordBoundaryOrAnywhere;
}

QString PlainTip(const QString& text) {
  if (!Qt::mightBeRichText(text)) return text;
  // pre-wrap keeps the value's spaces and still wraps a long one.
  return QStringLiteral("<p style=\"white-space:pre-wrap\">") + text.toHtmlEscaped() +
         QStringLiteral("</p>");
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
