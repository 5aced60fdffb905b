#pragma once

#include <QKeySequence>
#include <QLineEdit>

namespace postrider {

// The letter's Subject line: it scrolls, so it keeps everything typed or
// pasted however wide the window. Undo, Cut, Copy and Paste pressed here act
// on the message text instead, as the Edit menu's commands always do.
class SubjectEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit SubjectEdit(QWidget* parent = nullptr);

 signals:
  // Undo, Cut, Copy or Paste pressed here: they act on another control.
  void editKeyPressed(QKeySequence::StandardKey key);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace postrider
