#include "views/project_view_geometry.h"

#include <QFontMetrics>

#include <algorithm>
#include <cmath>

namespace postrider {

namespace {

// The layout was drawn for a font with 14-pixel lines: 17-pixel rows and
// 14-pixel icons.
constexpr int kDrawnLineHeight = 14;

}  // namespace

ProjectViewMetrics ProjectViewMetrics::ForFont(const QFont& font) {
  ProjectViewMetrics m;
  const int line = QFontMetrics(font).height();
  const double scale = std::max(1.0, static_cast<double>(line) / kDrawnLineHeight);
  m.iconSize = static_cast<int>(std::lround(14 * scale));
  m.iconColumnWidth = m.iconSize + 2;
  m.rowHeight = std::max(line + 3, m.iconSize + 3);
  return m;
}

std::vector<int> EqualColumnWidths(int width, int fieldCount) {
  if (fieldCount <= 0) return {};
  const int each = std::max(0, width) / fieldCount;
  std::vector<int> widths(static_cast<std::size_t>(fieldCount), each);
  widths.back() = std::max(0, width) - each * (fieldCount - 1);
  return widths;
}

}  // namespace postrider
