#pragma once

#include <QColor>

namespace postrider {

// Where the project view draws: the header strip across the top, then rows of
// a status icon and one column per list field. Pixels are the layout's own,
// scaled with the desktop's font scaling so the text keeps fitting.
struct ProjectViewMetrics {
  int stripHeight = 15;
  int rowHeight = 17;
  int iconSize = 14;
  int iconTop = 2;        // below the row's top
  int headerOrigin = 17;  // header cell 0, in view coordinates
  int rowOrigin = 16;     // row column 0, inside the list's one-pixel frame

  // The metrics for a scale of 1 or more (1 gives the figures above).
  static ProjectViewMetrics Scaled(double scale);
  // The metrics for the desktop this program runs on.
  static const ProjectViewMetrics& ForDesktop();
};

// The same width for every field; 0 when there are none.
int ColumnWidth(int viewWidth, int fieldCount);

// Left edge of header cell `k` (the cell ends where cell k + 1 begins).
inline int HeaderCellLeft(const ProjectViewMetrics& m, int k, int columnWidth) {
  return m.headerOrigin + k * columnWidth;
}
// Left edge of row column `k`, in the list's own coordinates.
inline int RowColumnLeft(const ProjectViewMetrics& m, int k, int columnWidth) {
  return m.rowOrigin + k * columnWidth;
}

namespace view_colors {
inline const QColor kLightGrey{192, 192, 192};  // header fill, unselected text, grid
inline const QColor kDarkGrey{128, 128, 128};   // right and bottom edges of header cells
inline const QColor kWhite{255, 255, 255};      // left and top edges of header cells
inline const QColor kBlack{0, 0, 0};            // selected row text
}  // namespace view_colors

}  // namespace postrider
