#include "views/entry_list_view.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace postrider {

EntryListView::EntryListView(QWidget* parent) : QListView(parent) {
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::NoSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Columns follow the view's width, so there is nothing to scroll sideways.
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
}

void EntryListView::ShowRow(int row) {
  const QModelIndex target = model() != nullptr ? model()->index(row, 0) : QModelIndex();
  if (!target.isValid()) return;
  selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
  scrollTo(target);
  update(target);
}

void EntryListView::PickAt(const QPoint& position) {
  const QModelIndex target = indexAt(position);
  if (!target.isValid()) return;
  // The row stays where the mouse is: no scrolling a partly shown row.
  const bool scrolls = hasAutoScroll();
  setAutoScroll(false);
  selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
  setAutoScroll(scrolls);
  emit rowPicked(target.row());
}

void EntryListView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) PickAt(event->position().toPoint());
  event->accept();
}

// The second click of a double click is a click too.
void EntryListView::mouseDoubleClickEvent(QMouseEvent* event) { mousePressEvent(event); }

// No drag-selecting: a press picks one row, moving the mouse picks nothing.
void EntryListView::mouseMoveEvent(QMouseEvent* event) { event->accept(); }
void EntryListView::mouseReleaseEvent(QMouseEvent* event) { event->accept(); }

void EntryListView::keyPressEvent(QKeyEvent* event) {
  const QModelIndex before = currentIndex();
  if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
    if (before.isValid()) emit rowPicked(before.row());
    event->accept();
    return;
  }
  QListView::keyPressEvent(event);
  const QModelIndex after = currentIndex();
  if (after.isValid() && after != before) emit rowPicked(after.row());
}

}  // namespace postrider
