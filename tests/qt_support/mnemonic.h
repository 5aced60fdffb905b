#pragma once

#include <QString>

namespace postrider::testing {

// The letter a text's single '&' marks, lower-cased; empty for "&&" or no mark.
inline QString MnemonicOf(const QString& text) {
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != QLatin1Char('&')) continue;
    if (text[i + 1] == QLatin1Char('&')) {
      ++i;
      continue;
    }
    return text[i + 1].toLower();
  }
  return {};
}

}  // namespace postrider::testing
