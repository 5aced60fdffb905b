#include "views/dialog_units.h"

#include <QFontMetrics>

#include <algorithm>

namespace postrider {

namespace {

// Rounds to nearest, as the window system's MulDiv does.
int Scale(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator
                                       : -((-product + half) / denominator));
}

}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters =
      metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  // The average of the 52 letters, rounded.
  baseWidth_ = std::max(1, (letters / 26 + 1) / 2);
  baseHeight_ = std::max(1, metrics.height());
}

int DialogUnits::ToPixelsX(int units) const { return Scale(units, baseWidth_, 4); }
int DialogUnits::ToPixelsY(int units) const { return Scale(units, baseHeight_, 8); }

QRect DialogUnits::ToPixels(int x, int y, int width, int height) const {
  return QRect(ToPixelsX(x), ToPixelsY(y), ToPixelsX(width), ToPixelsY(height));
}

QSize DialogUnits::ToPixels(int width, int height) const {
  return QSize(ToPixelsX(width), ToPixelsY(height));
}

}  // namespace postrider
