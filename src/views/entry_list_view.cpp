#include "views/entry_list_view.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include "views/entry_list_header.h"
#include "views/entry_list_model.h"
#include "views/project_view_geometry.h"

namespace postrider {

EntryListView::EntryListView(QWidget* parent) : QTableView(parent), header_(new EntryListHeader(this)) {
  setHorizontalHeader(header_);
  verticalHeader()->hide();
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setMinimumSectionSize(1);
  setSelectionMode(QAbstractItemView::NoSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Tab leaves the list instead of walking its cells.
  setTabKeyNavigation(false);
  setCornerButtonEnabled(false);
  setWordWrap(false);
  setShowGrid(true);
  setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  connect(header_, &QHeaderView::sectionResized, this,
          [this](int logicalIndex, int, int) { OnSectionResized(logicalIndex); });
  // A new list comes with columns of equal width again.
  connect(header_, &QHeaderView::sectionCountChanged, this, [this] {
    columnsSizedByUser_ = false;
    ShareWidthEqually();
  });
}

void EntryListView::SetRowHeight(int height) {
  verticalHeader()->setDefaultSectionSize(height);
}

void EntryListView::SetMarkColumnWidth(int width) {
  markColumnWidth_ = width;
  header_->setMinimumSectionSize(std::min(header_->minimumSectionSize(), width));
  ShareWidthEqually();
}

void EntryListView::ShareWidthEqually() {
  const int columns = header_->count();
  if (columns == 0) return;
  sizingColumns_ = true;
  header_->setSectionResizeMode(EntryListModel::kMarkColumn, QHeaderView::Fixed);
  header_->resizeSection(EntryListModel::kMarkColumn, markColumnWidth_);
  if (!columnsSizedByUser_) {
    const std::vector<int> widths =
        EqualColumnWidths(viewport()->width() - markColumnWidth_, columns - 1);
    for (int k = 1; k < columns; ++k) {
      header_->setSectionResizeMode(k, QHeaderView::Interactive);
      header_->resizeSection(k, widths[static_cast<std::size_t>(k - 1)]);
    }
  }
  sizingColumns_ = false;
}

void EntryListView::OnSectionResized(int logicalIndex) {
  // The last column stretches by itself as the list widens.
  if (sizingColumns_ || logicalIndex == EntryListModel::kMarkColumn ||
      logicalIndex == header_->count() - 1) {
    return;
  }
  columnsSizedByUser_ = true;
}

void EntryListView::resizeEvent(QResizeEvent* event) {
  QTableView::resizeEvent(event);
  ShareWidthEqually();
}

void EntryListView::ShowRow(int row) {
  if (model() == nullptr || row < 0 || row >= model()->rowCount()) return;
  const int column = currentIndex().isValid() ? currentIndex().column()
                                              : std::max(0, columnAt(0));
  const QModelIndex target = model()->index(row, column);
  if (!target.isValid()) return;
  selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
  scrollTo(target);
}

QRect EntryListView::RowRect(int row) const {
  if (row < 0) return {};
  return QRect(0, rowViewportPosition(row), viewport()->width(), rowHeight(row));
}

QRect EntryListView::CurrentRowRect() const { return RowRect(currentIndex().row()); }

void EntryListView::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
  QTableView::currentChanged(current, previous);
  // The frame goes round the whole row, not the one cell.
  if (previous.isValid()) viewport()->update(RowRect(previous.row()));
  if (current.isValid()) viewport()->update(RowRect(current.row()));
}

void EntryListView::paintEvent(QPaintEvent* event) {
  QTableView::paintEvent(event);
  const QRect frame = CurrentRowRect();
  if (frame.isEmpty() || !frame.intersects(event->rect())) return;
  QPainter painter(viewport());
  // The highlight colour while the list has the keyboard, a quieter one when not.
  const bool focused = hasFocus();
  QPen pen(palette().color(focused ? QPalette::Highlight : QPalette::Mid));
  pen.setWidth(focused ? 2 : 1);
  pen.setJoinStyle(Qt::MiterJoin);
  painter.setPen(pen);
  painter.setBrush(Qt::NoBrush);
  const int inset = focused ? 1 : 0;
  painter.drawRect(frame.adjusted(inset, inset, -inset - 1, -inset - 1));
}

void EntryListView::focusInEvent(QFocusEvent* event) {
  QTableView::focusInEvent(event);
  viewport()->update(CurrentRowRect());
}

void EntryListView::focusOutEvent(QFocusEvent* event) {
  QTableView::focusOutEvent(event);
  viewport()->update(CurrentRowRect());
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
  if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier) {
    if (currentIndex().isValid()) emit rowPicked(currentIndex().row());
    event->accept();
    return;
  }
  // Moving the current row picks nothing.
  QTableView::keyPressEvent(event);
}

QModelIndex EntryListView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
  // Home and End go to the first and last entry, as in any list, not to the
  // first and last column of the row.
  if ((action == MoveHome || action == MoveEnd) && model() != nullptr &&
      model()->rowCount() > 0) {
    const int row = action == MoveHome ? 0 : model()->rowCount() - 1;
    const int column = currentIndex().isValid() ? currentIndex().column() : 0;
    return model()->index(row, column);
  }
  return QTableView::moveCursor(action, modifiers);
}

}  // namespace postrider
