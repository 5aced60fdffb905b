#pragma once

#include <QTableView>

namespace postrider {

class EntryListHeader;

// The list: a table of entries under a header of field names. The arrow
// keys, Page Up and Page Down, Home and End move the current row, which is
// framed, and change no mark; Space and a click pick a row. The view's own
// selection is never used. Rows are all one height, so only the visible ones
// are ever asked for. Until the user drags a column's edge the field columns
// share the list's width equally.
class EntryListView : public QTableView {
  Q_OBJECT

 public:
  explicit EntryListView(QWidget* parent = nullptr);

  // Makes `row` current and scrolls it into view, picking nothing.
  void ShowRow(int row);
  void SetRowHeight(int height);
  // The width of the mark column, which the user cannot change.
  void SetMarkColumnWidth(int width);
  // Whether the user has set column widths of their own since the list was filled.
  bool columnsSizedByUser() const { return columnsSizedByUser_; }
  // The current row's frame, in the viewport's coordinates; empty when none.
  QRect CurrentRowRect() const;

 signals:
  // The user clicked `row` or pressed Space on it.
  void rowPicked(int row);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
  void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  // Typing letters would read the whole list to search it.
  void keyboardSearch(const QString&) override {}

 private:
  void PickAt(const QPoint& position);
  void ShareWidthEqually();
  void OnSectionResized(int logicalIndex);
  QRect RowRect(int row) const;

  EntryListHeader* header_;
  int markColumnWidth_ = 16;
  bool columnsSizedByUser_ = false;
  bool sizingColumns_ = false;
};

}  // namespace postrider
