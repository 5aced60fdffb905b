#pragma once

#include <QFont>

#include <vector>

namespace postrider {

// How the list's rows are laid out for the font they are written in: a
// status icon, then one column per list field.
struct ProjectViewMetrics {
  int rowHeight = 17;
  int iconSize = 14;
  int iconColumnWidth = 16;  // the icon and a pixel on each side

  // Rows tall enough for a line of `font` and the icon, which grows with it.
  static ProjectViewMetrics ForFont(const QFont& font);
};

// Widths of the field columns when `width` pixels are shared among
// `fieldCount` fields: the same for each, the last taking what the division
// leaves over. Empty when there are no fields.
std::vector<int> EqualColumnWidths(int width, int fieldCount);

}  // namespace postrider
