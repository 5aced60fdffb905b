#pragma once

#include <QFont>

namespace postrider {

// The program's three fonts: the desktop's own interface font in a standard and
// a bold form, and its fixed-width font for the letter. Sizes are cell heights
// in pixels, as the program's layout is drawn in pixels; the desktop's font
// scaling (a logical DPI above 96) enlarges them, and high-DPI screens scale
// every pixel anyway.
struct SharedFonts {
  QFont standard;  // 14-pixel cells: status bar, Subject, To, list rows
  QFont bold;      // 15-pixel cells, bold: labels and the list's header strip
  QFont fixed;     // 15-pixel cells, fixed width: the letter
};

// Created on first use, after the QApplication exists; the same for the whole run.
const SharedFonts& GetSharedFonts();

// How much the desktop's font scaling enlarges the layout's pixel sizes: its
// logical DPI over 96, at least 1. Layouts drawn in pixels scale with it so
// that text keeps fitting its cell.
double DesktopFontScale();

// The largest font of `base`'s family whose line height fits `cellHeight` pixels.
QFont FontFittingCell(QFont base, int cellHeight);

}  // namespace postrider
