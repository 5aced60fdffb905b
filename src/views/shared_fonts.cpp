#include "views/shared_fonts.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>

#include <algorithm>

namespace postrider {

namespace {

// The line height of the font the pixel layouts were drawn for.
constexpr double kDrawnLineHeight = 14.0;

}  // namespace

const SharedFonts& GetSharedFonts() {
  static const SharedFonts fonts = [] {
    SharedFonts made;
    // The application's font is the desktop's interface font, or the one a
    // style sheet or the user's Qt settings put in its place.
    made.standard = QApplication::font();
    made.bold = made.standard;
    made.bold.setWeight(QFont::Bold);
    made.fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    return made;
  }();
  return fonts;
}

double DesktopFontScale() {
  return std::max(1.0, QFontMetrics(GetSharedFonts().standard).height() / kDrawnLineHeight);
}

}  // namespace postrider
