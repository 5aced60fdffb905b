#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

namespace postrider {

// Converts a dialog template's units into pixels for the dialog's own font: a
// horizontal unit is a quarter of the font's average character width, a
// vertical one an eighth of its height, so the controls keep their places
// relative to each other whatever font the desktop uses.
class TemplateUnits {
 public:
  explicit TemplateUnits(const QFont& font);

  int X(int units) const;
  int Y(int units) const;
  QRect Rect(int x, int y, int width, int height) const;
  QSize Size(int width, int height) const;

  int averageCharWidth() const { return averageCharWidth_; }
  int fontHeight() const { return fontHeight_; }

 private:
  int averageCharWidth_;
  int fontHeight_;
};

}  // namespace postrider
