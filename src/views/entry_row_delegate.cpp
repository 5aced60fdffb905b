#include "views/entry_row_delegate.h"

#include <QPainter>

#include "views/entry_list_model.h"

namespace postrider {

EntryRowDelegate::EntryRowDelegate(const EntryListModel& model, const ProjectViewMetrics& metrics,
                                   QObject* parent)
    : QStyledItemDelegate(parent),
      model_(model),
      metrics_(metrics),
      ownIcons_(metrics.iconSize),
      icons_(&ownIcons_) {}

void EntryRowDelegate::SetMetrics(const ProjectViewMetrics& metrics) {
  metrics_ = metrics;
  if (ownIcons_.size() != metrics.iconSize) {
    const bool usingOwn = icons_ == &ownIcons_;
    ownIcons_ = StatusIcons(metrics.iconSize);
    if (usingOwn) icons_ = &ownIcons_;
  }
}

int EntryRowDelegate::TextMargin() { return 3; }

const EntryRowColors& EntryRowDelegate::ColorsFor(const QPalette& palette) const {
  // Working out the fainter colour takes a search: once per palette.
  if (palette.cacheKey() != colorsKey_) {
    colorsKey_ = palette.cacheKey();
    colors_ = EntryRowColors::From(palette);
  }
  return colors_;
}

QSize EntryRowDelegate::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
  if (index.column() == EntryListModel::kMarkColumn) {
    return {metrics_.iconColumnWidth, metrics_.rowHeight};
  }
  // Asked only when the user fits a column to its values.
  const QString text = model_.ValueText(index.row(), index.column() - 1);
  return {option.fontMetrics.horizontalAdvance(text) + 2 * TextMargin() + 1, metrics_.rowHeight};
}

void EntryRowDelegate::PaintMark(QPainter* painter, const QRect& cell, int row) const {
  ++rowsPainted_;
  const int status = model_.document().GetEntryStatus(row);
  const QPixmap& icon = icons_->Pixmap(status, painter->device()->devicePixelRatioF());
  if (icon.isNull()) return;
  const int x = cell.left() + (cell.width() - metrics_.iconSize) / 2;
  const int y = cell.top() + (cell.height() - metrics_.iconSize) / 2;
  painter->drawPixmap(x, y, icon);
}

void EntryRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
  const int row = index.row();
  if (index.column() == EntryListModel::kMarkColumn) {
    PaintMark(painter, option.rect, row);
    return;
  }
  const QString value = model_.ValueText(row, index.column() - 1);
  if (value.isEmpty()) return;
  const EntryRowColors& colors = ColorsFor(option.palette);
  const bool selected = model_.document().IsEntrySelected(row) != 0;
  const QRect room = option.rect.adjusted(TextMargin(), 0, -TextMargin(), 0);
  if (room.width() <= 0) return;
  const QString shown = option.fontMetrics.elidedText(value, Qt::ElideRight, room.width());
  painter->save();
  painter->setPen(selected ? colors.selectedText : colors.unselectedText);
  painter->drawText(room, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
  painter->restore();
}

}  // namespace postrider
