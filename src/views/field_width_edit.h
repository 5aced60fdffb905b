#pragma once

#include <QKeySequence>
#include <QLineEdit>

namespace postrider {

// A one-line edit that holds only what fits its width, like an edit without
// horizontal scrolling: typing stops at the right edge and a paste or drop is
// cut there. Text put in by the program is kept whole.
class FieldWidthEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit FieldWidthEdit(QWidget* parent = nullptr);

  // Shows `text` as it is, even when it is wider than the field.
  void SetStoredText(const QString& text);
  // The pixels the text may take.
  int TextRoom() const;

 signals:
  // Undo, Cut, Copy or Paste pressed here: they act on another control.
  void editKeyPressed(QKeySequence::StandardKey key);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  class Fitter;
  Fitter* fitter_;
};

}  // namespace postrider
