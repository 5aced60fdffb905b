#include "views/field_width_edit.h"

#include <QApplication>
#include <QKeyEvent>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QValidator>

#include <array>

namespace postrider {

namespace {

// QLineEdit keeps this many pixels free on each side of its text.
constexpr int kLineEditTextMargin = 2;
// The caret after the last character needs its pixel too.
constexpr int kCaretWidth = 1;

constexpr std::array<QKeySequence::StandardKey, 4> kEditKeys = {
    QKeySequence::Undo, QKeySequence::Cut, QKeySequence::Copy, QKeySequence::Paste};

}  // namespace

// Cuts what was just inserted until the text fits. The inserted part is what
// lies between the text before the change and after it, so a loaded subject
// wider than the field is never shortened by an edit elsewhere in it.
class FieldWidthEdit::Fitter : public QValidator {
 public:
  explicit Fitter(FieldWidthEdit& edit) : QValidator(&edit), edit_(edit) {}

  void Accept(const QString& text) { accepted_ = text; }
  void SetBypass(bool bypass) { bypass_ = bypass; }

  State validate(QString& input, int& pos) const override {
    if (bypass_ || input == accepted_ || Fits(input)) {
      accepted_ = input;
      return Acceptable;
    }
    const qsizetype shorter = std::min(input.size(), accepted_.size());
    qsizetype prefix = 0;
    while (prefix < shorter && input[prefix] == accepted_[prefix]) ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix &&
           input[input.size() - 1 - suffix] == accepted_[accepted_.size() - 1 - suffix]) {
      ++suffix;
    }
    const QString head = input.left(prefix);
    const QString tail = input.right(suffix);
    QString inserted = input.mid(prefix, input.size() - prefix - suffix);
    const qsizetype wanted = inserted.size();
    while (!inserted.isEmpty() && !Fits(head + inserted + tail)) inserted.chop(1);
    // A cut that would leave half of a surrogate pair takes the whole pair.
    if (!inserted.isEmpty() && inserted.back().isHighSurrogate()) inserted.chop(1);
    if (inserted.size() < wanted) QApplication::beep();
    input = head + inserted + tail;
    pos = static_cast<int>(prefix + inserted.size());
    accepted_ = input;
    return Acceptable;
  }

 private:
  bool Fits(const QString& text) const {
    return edit_.fontMetrics().horizontalAdvance(text) <= edit_.TextRoom();
  }

  FieldWidthEdit& edit_;
  mutable QString accepted_;
  bool bypass_ = false;
};

FieldWidthEdit::FieldWidthEdit(QWidget* parent) : QLineEdit(parent), fitter_(new Fitter(*this)) {
  setValidator(fitter_);
}

void FieldWidthEdit::SetStoredText(const QString& text) {
  fitter_->SetBypass(true);
  setText(text);
  fitter_->SetBypass(false);
  fitter_->Accept(text);
}

int FieldWidthEdit::TextRoom() const {
  QStyleOptionFrame option;
  initStyleOption(&option);
  const QRect contents = style()->subElementRect(QStyle::SE_LineEditContents, &option, this);
  const QMargins margins = textMargins();
  return contents.width() - margins.left() - margins.right() - 2 * kLineEditTextMargin -
         kCaretWidth;
}

void FieldWidthEdit::keyPressEvent(QKeyEvent* event) {
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
