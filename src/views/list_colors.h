#pragma once

#include <QColor>
#include <QPalette>

namespace postrider {

// The contrast ratio of two colours as WCAG 2 defines it: 1 for the same
// colour, 21 for black on white.
double ContrastRatio(const QColor& a, const QColor& b);

// Text of entries that are not selected: the palette's text colour moved
// towards its background as far as it can go while it keeps `minimumContrast`
// against that background, so it reads as fainter yet stays readable on a
// light theme and a dark one. A palette whose own text is fainter than that
// keeps its text colour.
QColor DimmedTextColor(const QColor& text, const QColor& background,
                       double minimumContrast = 4.5);

// The colours of the list's rows for a palette.
struct EntryRowColors {
  QColor selectedText;    // the palette's own text colour
  QColor unselectedText;  // fainter, at least 4.5:1 against the background
  QColor background;

  static EntryRowColors From(const QPalette& palette);
};

}  // namespace postrider
