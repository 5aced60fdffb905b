#pragma once

#include <QFont>
#include <QRect>

namespace postrider {

// Dialog templates give places in dialog units, which scale with the dialog's
// font: a horizontal unit is a quarter of the font's average character width,
// a vertical unit an eighth of its height, so controls keep their places
// relative to each other and their text fits.
class DialogUnits {
 public:
  explicit DialogUnits(const QFont& font);

  int ToPixelsX(int units) const;
  int ToPixelsY(int units) const;
  QRect ToPixels(int x, int y, int width, int height) const;
  QSize ToPixels(int width, int height) const;

  int baseWidth() const { return baseWidth_; }
  int baseHeight() const { return baseHeight_; }

 private:
  int baseWidth_;
  int baseHeight_;
};

}  // namespace postrider
