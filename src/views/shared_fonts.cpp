#include "views/shared_fonts.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>

namespace postrider {

namespace {

constexpr int kStandardCell = 14;
constexpr int kBoldCell = 15;
constexpr int kFixedCell = 15;

int ScaledCell(int cell) { return static_cast<int>(cell * DesktopFontScale() + 0.5); }

}  // namespace

// A desktop set to larger fonts has a logical DPI above 96; the layout's
// pixel sizes were drawn for 96.
double DesktopFontScale() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  const double dpi = screen != nullptr ? screen->logicalDotsPerInch() : 96.0;
  return std::max(1.0, dpi / 96.0);
}

QFont FontFittingCell(QFont base, int cellHeight) {
  int size = cellHeight;
  base.setPixelSize(size);
  while (size > 6 && QFontMetrics(base).height() > cellHeight) {
    base.setPixelSize(--size);
  }
  return base;
}

const SharedFonts& GetSharedFonts() {
  static const SharedFonts fonts = [] {
    SharedFonts made;
    const QFont ui = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    made.standard = FontFittingCell(ui, ScaledCell(kStandardCell));
    QFont bold = ui;
    bold.setWeight(QFont::Bold);
    made.bold = FontFittingCell(bold, ScaledCell(kBoldCell));
    made.fixed = FontFittingCell(QFontDatabase::systemFont(QFontDatabase::FixedFont),
                                 ScaledCell(kFixedCell));
    return made;
  }();
  return fonts;
}

}  // namespace postrider
