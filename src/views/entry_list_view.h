#pragma once

#include <QListView>

namespace postrider {

// The list under the header strip. Clicking a row, and moving the current row
// with the keyboard, picks the row that becomes current; the view's own
// selection is never used. Rows are all one height, so only the visible ones
// are ever asked for.
class EntryListView : public QListView {
  Q_OBJECT

 public:
  explicit EntryListView(QWidget* parent = nullptr);

  // Makes `row` current and scrolls it into view, picking nothing.
  void ShowRow(int row);

 signals:
  // The user clicked `row`, moved the current row onto it, or pressed Space on it.
  void rowPicked(int row);

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  // Typing letters would read the whole list to search it.
  void keyboardSearch(const QString&) override {}

 private:
  void PickAt(const QPoint& position);
};

}  // namespace postrider
