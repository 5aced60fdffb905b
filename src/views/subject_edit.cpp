#include "views/subject_edit.h"

#include <QKeyEvent>

#include <array>
#include <limits>

namespace postrider {

namespace {

constexpr std::array<QKeySequence::StandardKey, 4> kEditKeys = {
    QKeySequence::Undo, QKeySequence::Cut, QKeySequence::Copy, QKeySequence::Paste};

}  // namespace

SubjectEdit::SubjectEdit(QWidget* parent) : QLineEdit(parent) {
  // A line edit cuts at 32767 characters by default: a loaded subject must
  // come back whole.
  setMaxLength(std::numeric_limits<int>::max());
}

void SubjectEdit::keyPressEvent(QKeyEvent* event) {
  for (const QKeySequence::StandardKey key : kEditKeys) {
    if (event->matches(key)) {
      emit editKeyPressed(key);
      event->accept();
      return;
    }
  }
  QLineEdit::keyPressEvent(event);
}

}  // namespace postrider
