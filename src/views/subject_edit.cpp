#include "views/subject_edit.h"

#include <QKeyEvent>
#include <QValidator>

#include <array>
#include <limits>

namespace postrider {

namespace {

constexpr std::array<QKeySequence::StandardKey, 4> kEditKeys = {
    QKeySequence::Undo, QKeySequence::Cut, QKeySequence::Copy, QKeySequence::Paste};

// A subject is one line, but a line edit keeps the line breaks of text
// pasted or dropped into it: shown as nothing, saved as spaces, it came back
// changed. Each break becomes the one space the user sees between the lines.
class OneLineValidator : public QValidator {
 public:
  using QValidator::QValidator;

  State validate(QString& input, int& pos) const override {
    for (qsizetype i = 0; i < input.size(); ++i) {
      const char16_t c = input.at(i).unicode();
      if (c == u'\r' && i + 1 < input.size() && input.at(i + 1) == QLatin1Char('\n')) {
        input.remove(i + 1, 1);
        if (pos > i + 1) --pos;
      }
      if (c == u'\r' || c == u'\n' || c == QChar::LineSeparator ||
          c == QChar::ParagraphSeparator) {
        input[i] = QLatin1Char(' ');
      }
    }
    return Acceptable;
  }
};

}  // namespace

SubjectEdit::SubjectEdit(QWidget* parent) : QLineEdit(parent) {
  // A line edit cuts at 32767 characters by default: a loaded subject must
  // come back whole.
  setMaxLength(std::numeric_limits<int>::max());
  setValidator(new OneLineValidator(this));
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
