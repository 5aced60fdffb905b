#include "wizard/template_units.h"

#include <QFontMetrics>

#include <algorithm>

namespace postrider {

namespace {

// value * numerator / denominator, rounded half away from zero.
int MulDiv(int value, int numerator, int denominator) {
  const long long product = static_cast<long long>(value) * numerator;
  const long long half = denominator / 2;
  return static_cast<int>(product >= 0 ? (product + half) / denominator
                                       : -((-product + half) / denominator));
}

}  // namespace

TemplateUnits::TemplateUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  // The average over the 52 letters, rounded.
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  averageCharWidth_ = std::max(1, (letters / 26 + 1) / 2);
  fontHeight_ = std::max(1, metrics.height());
}

int TemplateUnits::X(int units) const { return MulDiv(units, averageCharWidth_, 4); }
int TemplateUnits::Y(int units) const { return MulDiv(units, fontHeight_, 8); }

QRect TemplateUnits::Rect(int x, int y, int width, int height) const {
  return QRect(X(x), Y(y), X(width), Y(height));
}

QSize TemplateUnits::Size(int width, int height) const { return QSize(X(width), Y(height)); }

}  // namespace postrider
