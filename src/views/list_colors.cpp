#include "views/list_colors.h"

#include <algorithm>
#include <cmath>

namespace postrider {

namespace {

double Linear(double channel) {
  return channel <= 0.03928 ? channel / 12.92 : std::pow((channel + 0.055) / 1.055, 2.4);
}

double RelativeLuminance(const QColor& color) {
  const QColor rgb = color.toRgb();
  return 0.2126 * Linear(rgb.redF()) + 0.7152 * Linear(rgb.greenF()) +
         0.0722 * Linear(rgb.blueF());
}

QColor Blend(const QColor& from, const QColor& to, double share) {
  const auto mix = [share](int a, int b) {
    return static_cast<int>(std::lround(a + (b - a) * share));
  };
  const QColor f = from.toRgb();
  const QColor t = to.toRgb();
  return QColor(mix(f.red(), t.red()), mix(f.green(), t.green()), mix(f.blue(), t.blue()));
}

}  // namespace

double ContrastRatio(const QColor& a, const QColor& b) {
  const double la = RelativeLuminance(a);
  const double lb = RelativeLuminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QColor DimmedTextColor(const QColor& text, const QColor& background, double minimumContrast) {
  if (ContrastRatio(text, background) <= minimumContrast) return text.toRgb();
  // The share of the background in the blend: contrast falls as it grows.
  double readable = 0.0;
  double unreadable = 1.0;
  for (int step = 0; step < 20; ++step) {
    const double middle = (readable + unreadable) / 2;
    if (ContrastRatio(Blend(text, background, middle), background) >= minimumContrast) {
      readable = middle;
    } else {
      unreadable = middle;
    }
  }
  // Rounding to whole channel values may cost a little contrast: step back.
  QColor dimmed = Blend(text, background, readable);
  for (double share = readable; ContrastRatio(dimmed, background) < minimumContrast && share > 0;) {
    share = std::max(0.0, share - 0.01);
    dimmed = Blend(text, background, share);
  }
  return dimmed;
}

EntryRowColors EntryRowColors::From(const QPalette& palette) {
  EntryRowColors colors;
  colors.background = palette.color(QPalette::Base);
  colors.selectedText = palette.color(QPalette::Text);
  colors.unselectedText = DimmedTextColor(colors.selectedText, colors.background);
  return colors;
}

}  // namespace postrider
