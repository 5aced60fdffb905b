#include "views/entry_row_delegate.h"

#include <QPainter>

#include "views/entry_list_model.h"
#include "views/display_text.h"

namespace postrider {

EntryRowDelegate::EntryRowDelegate(const EntryListModel& model, std::function<int()> columnsWidth,
                                   const ProjectViewMetrics& metrics, QObject* parent)
    : QStyledItemDelegate(parent),
      model_(model),
      columnsWidth_(std::move(columnsWidth)),
      metrics_(metrics),
      ownIcons_(metrics.iconSize),
      icons_(&ownIcons_),
      selectedPen_(view_colors::kBlack),
      unselectedPen_(view_colors::kLightGrey) {}

QSize EntryRowDelegate::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const {
  // Every row alike, and no record read to size one.
  return {1, metrics_.rowHeight};
}

void EntryRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  ++rowsPainted_;
  const QRect row = option.rect;
  const int fieldCount = model_.document().GetFieldCount();
  const int columnWidth = ColumnWidth(columnsWidth_(), fieldCount);
  const ListRecord* record = model_.ReadRow(index.row());

  if (record != nullptr) {
    const QPixmap& icon =
        icons_->Pixmap(record->sendStatus, painter->device()->devicePixelRatioF());
    if (!icon.isNull()) painter->drawPixmap(row.left(), row.top() + metrics_.iconTop, icon);

    painter->save();
    painter->setPen(record->selection != 0 ? selectedPen_ : unselectedPen_);
    const int baseline = row.top() + 1 + option.fontMetrics.ascent();
    const int textHeight = row.height() - 3;  // from top + 1 to bottom - 2
    for (int k = 0; k < fieldCount; ++k) {
      const std::string& value = record->ValueAt(k);
      if (value.empty()) continue;
      const int left = row.left() + RowColumnLeft(metrics_, k, columnWidth);
      // A value is clipped to its column.
      painter->setClipRect(QRect(left, row.top() + 1, columnWidth, textHeight));
      painter->drawText(left, baseline, ShownText(value));
    }
    painter->restore();
  }

  // Grid lines left of each column, then the row separator along the bottom.
  for (int k = 0; k < fieldCount; ++k) {
    const int x = row.left() + RowColumnLeft(metrics_, k, columnWidth) - 1;
    painter->fillRect(x, row.top(), 1, row.height() - 1, view_colors::kLightGrey);
  }
  painter->fillRect(row.left(), row.bottom(), row.width(), 1, view_colors::kLightGrey);
}

}  // namespace postrider
