#pragma once

#include <QFont>

namespace postrider {

// The program's three fonts, all the desktop's own at the sizes the user chose
// there: its interface font in a standard and a bold form, and its fixed-width
// font for the letter.
struct SharedFonts {
  QFont standard;  // status bar, Subject, To, list rows
  QFont bold;      // labels
  QFont fixed;     // the letter
};

// Made on first use, after the QApplication exists; the same for the whole run.
const SharedFonts& GetSharedFonts();

// How much larger than the layout's pixel sizes the desktop's text is: the
// line height of its interface font over the 14 pixels the layouts were drawn
// for, at least 1. Layouts drawn in pixels scale with it so that text keeps
// fitting.
double DesktopFontScale();

}  // namespace postrider
