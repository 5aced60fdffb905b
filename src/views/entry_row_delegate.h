#pragma once

#include <QPen>
#include <QStyledItemDelegate>

#include <functional>

#include "views/project_view_geometry.h"
#include "views/status_icons.h"

namespace postrider {

class EntryListModel;

// Paints one list entry per row: its status icon, then its values under the
// header cells, black when the entry is selected and light grey when not,
// with light grey grid lines. The view's own highlight and focus rectangle
// are never drawn: the entry's selection shows only as its text colour.
class EntryRowDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  // `columnsWidth` gives the width the columns divide (the whole project
  // view's, so rows line up with the header strip above the list).
  EntryRowDelegate(const EntryListModel& model, std::function<int()> columnsWidth,
                   const ProjectViewMetrics& metrics, QObject* parent = nullptr);

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  // Where the icons come from; the program's own by default.
  void SetStatusIcons(const StatusIcons* icons) { icons_ = icons; }
  const StatusIcons& statusIcons() const { return *icons_; }

  // Rows painted so far.
  long long rowsPainted() const { return rowsPainted_; }

 private:
  const EntryListModel& model_;
  std::function<int()> columnsWidth_;
  ProjectViewMetrics metrics_;
  StatusIcons ownIcons_;
  const StatusIcons* icons_;
  QPen selectedPen_;
  QPen unselectedPen_;
  mutable long long rowsPainted_ = 0;
};

}  // namespace postrider
