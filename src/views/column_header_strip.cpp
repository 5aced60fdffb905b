#include "views/column_header_strip.h"

#include <QPainter>
#include <QStringList>

#include "project/postridr_doc.h"
#include "views/display_text.h"
#include "views/shared_fonts.h"

namespace postrider {

ColumnHeaderStrip::ColumnHeaderStrip(const CPostridrDoc& document,
                                     const ProjectViewMetrics& metrics, QWidget* parent)
    : QWidget(parent), document_(document), metrics_(metrics) {
  setFont(GetSharedFonts().bold);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAccessibleName(QStringLiteral("List fields"));
}

void ColumnHeaderStrip::FieldsChanged() {
  QStringList names;
  for (const std::string& name : document_.GetFieldNames()) names << ShownText(name);
  setAccessibleDescription(names.join(QStringLiteral(", ")));
  update();
}

void ColumnHeaderStrip::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), view_colors::kLightGrey);

  const std::vector<std::string>& names = document_.GetFieldNames();
  const int fieldCount = static_cast<int>(names.size());
  const int columnWidth = ColumnWidth(width(), fieldCount);
  if (columnWidth == 0) return;
  const int bottom = metrics_.stripHeight - 1;  // the dark bottom edge's row
  painter.setPen(view_colors::kBlack);
  for (int k = 0; k < fieldCount; ++k) {
    const int left = HeaderCellLeft(metrics_, k, columnWidth);
    const int right = left + columnWidth;  // first pixel of the next cell
    painter.save();
    painter.setClipRect(QRect(left, 0, columnWidth, metrics_.stripHeight));
    painter.drawText(left, painter.fontMetrics().ascent(),
                     ShownText(names[static_cast<std::size_t>(k)]));
    painter.restore();
    // Raised: white on the left and top, dark grey on the right and bottom.
    painter.fillRect(left - 1, 0, 1, bottom, view_colors::kWhite);
    painter.fillRect(left - 1, 0, columnWidth, 1, view_colors::kWhite);
    painter.fillRect(right - 2, 0, 1, bottom, view_colors::kDarkGrey);
    painter.fillRect(left, bottom, columnWidth - 1, 1, view_colors::kDarkGrey);
  }
}

}  // namespace postrider
