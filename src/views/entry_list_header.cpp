#include "views/entry_list_header.h"

#include <QStyleOptionHeader>

#include "views/entry_list_model.h"

namespace postrider {

EntryListHeader::EntryListHeader(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
  setSectionsClickable(false);
  setSectionsMovable(false);
  setHighlightSections(false);
  setStretchLastSection(true);
  setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  setTextElideMode(Qt::ElideRight);
}

void EntryListHeader::initStyleOptionForIndex(QStyleOptionHeader* option,
                                              int logicalIndex) const {
  QHeaderView::initStyleOptionForIndex(option, logicalIndex);
  if (logicalIndex == EntryListModel::kMarkColumn) option->text.clear();
}

}  // namespace postrider
