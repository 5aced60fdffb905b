#pragma once

#include <QStyledItemDelegate>

#include "views/list_colors.h"
#include "views/project_view_geometry.h"
#include "views/status_icons.h"

namespace postrider {

class EntryListModel;

// Paints the list's cells: the entry's status icon in the mark column, each
// value in its field's column, cut short with an ellipsis where it does not
// fit. Selected entries are written in the palette's text colour, the others
// in a fainter one that stays readable. The view's own selection and focus
// are never drawn: the view frames its current row itself.
class EntryRowDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  EntryRowDelegate(const EntryListModel& model, const ProjectViewMetrics& metrics,
                   QObject* parent = nullptr);

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  // Where the icons come from; the program's own by default.
  void SetStatusIcons(const StatusIcons* icons) { icons_ = icons; }
  const StatusIcons& statusIcons() const { return *icons_; }
  void SetMetrics(const ProjectViewMetrics& metrics);

  // The colours rows are painted in for `palette`.
  const EntryRowColors& ColorsFor(const QPalette& palette) const;
  // Rows painted so far (their mark cells).
  long long rowsPainted() const { return rowsPainted_; }
  // Room left between a column's edge and its text.
  static int TextMargin();

 private:
  void PaintMark(QPainter* painter, const QRect& cell, int row) const;

  const EntryListModel& model_;
  ProjectViewMetrics metrics_;
  StatusIcons ownIcons_;
  const StatusIcons* icons_;
  mutable qint64 colorsKey_ = -1;
  mutable EntryRowColors colors_;
  mutable long long rowsPainted_ = 0;
};

}  // namespace postrider
