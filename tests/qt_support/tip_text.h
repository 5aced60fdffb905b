#pragma once

#include <QString>
#include <QTextDocument>

namespace postrider::testing {

// What a tip label shows of `tip`, worked out without laying it out: a tip
// that would load a picture says so instead, since showing it would read it.
inline QString TipAsShown(const QString& tip) {
  QTextDocument shown;
  if (!Qt::mightBeRichText(tip)) {
    shown.setPlainText(tip);
  } else if (tip.contains(QStringLiteral("<img"))) {
    return QStringLiteral("[a tip that loads a picture: ") + tip + QStringLiteral("]");
  } else {
    shown.setHtml(tip);
  }
  return shown.toPlainText();
}

}  // namespace postrider::testing
