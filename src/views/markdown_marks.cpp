#include "views/markdown_marks.h"

#include <QFileInfo>
#include <QStringList>

namespace postrider {

namespace {

QString WrapOneLine(const QString& line, const QString& mark) {
  qsizetype start = 0;
  qsizetype end = line.size();
  while (start < end && line.at(start).isSpace()) ++start;
  while (end > start && line.at(end - 1).isSpace()) --end;
  if (start == end) return line;
  return line.left(start) + mark + line.mid(start, end - start) + mark + line.mid(end);
}

}  // namespace

MarkedText WrapInMarks(const QString& selected, const QString& mark) {
  if (selected.isEmpty()) {
    return {mark + mark, static_cast<int>(mark.size()), 0};
  }
  QStringList lines = selected.split(QLatin1Char('\n'));
  for (QString& line : lines) line = WrapOneLine(line, mark);
  const QString text = lines.join(QLatin1Char('\n'));
  return {text, 0, static_cast<int>(text.size())};
}

MarkedText PrefixLines(const QString& lines, const QString& prefix) {
  QStringList split = lines.split(QLatin1Char('\n'));
  bool allHaveIt = false;
  for (const QString& line : split) {
    if (line.isEmpty()) continue;
    if (!line.startsWith(prefix)) {
      allHaveIt = false;
      break;
    }
    allHaveIt = true;
  }
  for (QString& line : split) {
    if (line.isEmpty() && split.size() > 1) continue;
    line = allHaveIt ? line.mid(prefix.size()) : prefix + line;
  }
  const QString text = split.join(QLatin1Char('\n'));
  return {text, static_cast<int>(text.size()), 0};
}

MarkedText MakeLink(const QString& selected) {
  const QString words = selected.isEmpty() ? QStringLiteral("link") : selected;
  const QString address = QStringLiteral("https://");
  const QString text = QLatin1Char('[') + words + QStringLiteral("](") + address + QLatin1Char(')');
  return {text, static_cast<int>(words.size() + 3), static_cast<int>(address.size())};
}

MarkedText MakePicture(const QString& selected, const QString& path) {
  const QString words = selected.isEmpty() ? QFileInfo(path).fileName() : selected;
  const bool needsBrackets = path.contains(QLatin1Char(' ')) || path.contains(QLatin1Char('(')) ||
                             path.contains(QLatin1Char(')'));
  const QString written = needsBrackets ? QLatin1Char('<') + path + QLatin1Char('>') : path;
  const QString text = QStringLiteral("![") + words + QStringLiteral("](") + written +
                       QLatin1Char(')');
  return {text, static_cast<int>(text.size()), 0};
}

}  // namespace postrider
