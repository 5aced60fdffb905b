#pragma once

#include <QHeaderView>

namespace postrider {

// The band of field names above the list. Its sections are dragged wider or
// narrower; a click does nothing else, since the list is never sorted or
// selected by column. The mark column's section stays blank: its name is for
// screen readers, its icons speak for themselves on screen.
class EntryListHeader : public QHeaderView {
  Q_OBJECT

 public:
  explicit EntryListHeader(QWidget* parent = nullptr);

 protected:
  void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override;
};

}  // namespace postrider
