#include "views/project_view_geometry.h"

#include <cmath>

#include "views/shared_fonts.h"

namespace postrider {

namespace {

int Scale(int pixels, double scale) { return static_cast<int>(std::lround(pixels * scale)); }

}  // namespace

ProjectViewMetrics ProjectViewMetrics::Scaled(double scale) {
  ProjectViewMetrics m;
  if (scale <= 1.0) return m;
  m.stripHeight = Scale(m.stripHeight, scale);
  m.rowHeight = Scale(m.rowHeight, scale);
  m.iconSize = Scale(m.iconSize, scale);
  m.iconTop = Scale(m.iconTop, scale);
  m.rowOrigin = Scale(m.rowOrigin, scale);
  // Header cells stay one pixel right of the row columns: that pixel is the
  // list's frame, which does not grow.
  m.headerOrigin = m.rowOrigin + 1;
  return m;
}

const ProjectViewMetrics& ProjectViewMetrics::ForDesktop() {
  static const ProjectViewMetrics metrics = Scaled(DesktopFontScale());
  return metrics;
}

int ColumnWidth(int viewWidth, int fieldCount) {
  if (fieldCount <= 0 || viewWidth <= 0) return 0;
  return viewWidth / fieldCount;
}

}  // namespace postrider
