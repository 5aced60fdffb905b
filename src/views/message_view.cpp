#include "views/message_view.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFontMetrics>
#include <QFontMetricsF>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>

#include <algorithm>

#include "project/postridr_doc.h"
#include "send/letter_composer.h"
#include "views/display_text.h"
#include "views/format_bar.h"
#include "views/project_view_geometry.h"
#include "views/subject_edit.h"
#include "views/shared_fonts.h"

namespace postrider {

namespace {

// Tab stops every eight characters of the fixed font, as a plain-text editor sets them.
constexpr int kTabStopCharacters = 8;

// The room the longer label needs in the bold font, with a pixel to spare.
int LabelTextWidth() {
  const QFontMetrics metrics(GetSharedFonts().bold);
  return std::max(metrics.horizontalAdvance(QStringLiteral("To:")),
                  metrics.horizontalAdvance(QStringLiteral("Subject:"))) +
         1;
}

// The letter's edit. Laying out one very long word where lines may break
// only between words takes time growing with the square of its length: a
// pasted block of a few hundred thousand characters with no space would
// hold the window for minutes, and every key after it for seconds. Such
// text switches the edit to breaking anywhere before it goes in, as a
// letter that holds it already is loaded.
class LetterEdit : public QPlainTextEdit {
 public:
  using QPlainTextEdit::QPlainTextEdit;

  // Before `text` goes in at the cursor.
  void PrepareFor(const QString& text) {
    if (wordWrapMode() != QTextOption::WrapAnywhere &&
        WrapModeFor(text) == QTextOption::WrapAnywhere) {
      setWordWrapMode(QTextOption::WrapAnywhere);
    }
  }

 protected:
  void insertFromMimeData(const QMimeData* source) override {
    if (source != nullptr && source->hasText()) PrepareFor(source->text());
    QPlainTextEdit::insertFromMimeData(source);
  }
};

}  // namespace

CMessageView::CMessageView(CPostridrDoc& document, QWidget* parent)
    : QWidget(parent),
      document_(document),
      layout_(MessageViewLayout::Scaled(DesktopFontScale(), LabelTextWidth())),
      messageEdit_(new LetterEdit(this)),
      toCombo_(new QComboBox(this)),
      subjectEdit_(new SubjectEdit(this)),
      formatBar_(new FormatBar(*messageEdit_, this)),
      toLabel_(MakeLabel(QStringLiteral("To:"), toCombo_)),
      subjectLabel_(MakeLabel(QStringLiteral("Subject:"), subjectEdit_)) {
  const SharedFonts& fonts = GetSharedFonts();

  messageEdit_->setObjectName(QStringLiteral("messageText"));
  messageEdit_->setAccessibleName(QStringLiteral("Message text"));
  messageEdit_->setFont(fonts.fixed);
  messageEdit_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  messageEdit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  messageEdit_->setTabStopDistance(QFontMetricsF(fonts.fixed).horizontalAdvance(QLatin1Char(' ')) *
                                   kTabStopCharacters);

  toCombo_->setObjectName(QStringLiteral("toCombo"));
  toCombo_->setAccessibleName(QStringLiteral("To"));
  toCombo_->setAccessibleDescription(
      QStringLiteral("The list field that holds the e-mail addresses"));
  toCombo_->setFont(fonts.standard);
  toCombo_->setEditable(false);

  subjectEdit_->setObjectName(QStringLiteral("subjectEdit"));
  subjectEdit_->setAccessibleName(QStringLiteral("Subject"));
  subjectEdit_->setFont(fonts.standard);
  formatBar_->hide();
  formatBar_->SetPictureFolder([this] { return ShownPath(LetterFolderOf(document_)); });

  PlaceControls();
  setTabOrder(toCombo_, subjectEdit_);
  setTabOrder(subjectEdit_, messageEdit_);
  setFocusProxy(messageEdit_);

  connect(toCombo_, &QComboBox::activated, this, &CMessageView::OnToComboSelChange);
  connect(subjectEdit_, &SubjectEdit::editKeyPressed, this, &CMessageView::OnSubjectEditKey);
  connect(messageEdit_, &QPlainTextEdit::undoAvailable, this, &CMessageView::editStateChanged);
  connect(messageEdit_, &QPlainTextEdit::copyAvailable, this, &CMessageView::editStateChanged);
  connect(QApplication::clipboard(), &QClipboard::dataChanged, this,
          &CMessageView::editStateChanged);

  document_.AddView(this);
}

CMessageView::~CMessageView() { document_.RemoveView(this); }

QLineEdit* CMessageView::subjectEdit() const { return subjectEdit_; }

// ---- the band -------------------------------------------------------------------

// The labels are widgets so that assistive technology knows which control
// each one names; they draw as text on the band.
QLabel* CMessageView::MakeLabel(const QString& text, QWidget* control) {
  auto* label = new QLabel(text, this);
  label->setTextFormat(Qt::PlainText);
  label->setFont(GetSharedFonts().bold);
  label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  label->setBuddy(control);
  // The band is drawn in the theme's button colours, so the label's text takes
  // the colour the theme writes on buttons.
  label->setForegroundRole(QPalette::ButtonText);
  return label;
}

void CMessageView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  PlaceControls();
}

void CMessageView::PlaceControls() {
  toLabel_->setGeometry(layout_.toLabel);
  subjectLabel_->setGeometry(layout_.subjectLabel);
  toCombo_->setGeometry(layout_.toCombo);
  subjectEdit_->setGeometry(layout_.SubjectEditRect(width()));
  QRect edit = layout_.MessageEditRect(width(), height());
  if (!formatBar_->isHidden()) {
    const int barHeight = formatBar_->sizeHint().height();
    formatBar_->setGeometry(edit.x(), edit.y(), edit.width(), barHeight);
    edit.setTop(edit.top() + barHeight);
  }
  messageEdit_->setGeometry(edit);
}

void CMessageView::ShowFormatBar(bool shown) {
  if (formatBar_->isHidden() != shown) return;
  formatBar_->setVisible(shown);
  PlaceControls();
}

void CMessageView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect band(0, 0, width(), layout_.bandHeight);
  // The theme's colours, so that a dark theme gives a dark band.
  const QPalette& colors = palette();
  painter.fillRect(band, colors.button());
  // A raised edge: light from the top left, shadow at the bottom right.
  const int right = band.right();
  const int bottom = band.bottom();
  painter.setPen(colors.color(QPalette::Light));
  painter.drawLine(0, 0, 0, bottom);
  painter.drawLine(0, 0, right, 0);
  painter.setPen(colors.color(QPalette::Dark));
  painter.drawLine(right, 0, right, bottom);
  painter.drawLine(right, bottom, 0, bottom);
}

// ---- the document's copy ------------------------------------------------------

void CMessageView::LoadFromDocument() {
  loadedSubject_ = LetterText(document_.GetSubject());
  subjectEdit_->setText(loadedSubject_.shown());
  subjectEdit_->setCursorPosition(0);

  loadedBody_ = LetterText(document_.GetBody());
  // Before the text, so that it is laid out once, and quickly.
  messageEdit_->setWordWrapMode(WrapModeFor(loadedBody_.shown()));
  // Also empties the undo history and clears the modification mark.
  messageEdit_->setPlainText(loadedBody_.shown());
  messageEdit_->document()->setModified(false);

  toCombo_->clear();
  for (const std::string& name : document_.GetFieldNames()) {
    toCombo_->addItem(ShownText(name));
  }
  // The first item added is chosen by itself; the document's choice decides.
  toCombo_->setCurrentIndex(document_.GetEmailFieldIndex());
  ShowFormatBar(document_.GetLetterOptions().format == MessageFormat::Markdown);
  emit editStateChanged();
}

void CMessageView::UpdateDocument() {
  const bool textEdited = messageEdit_->document()->isModified();
  const std::string subject = loadedSubject_.BytesFor(subjectEdit_->text());
  const int emailFieldIndex = toCombo_->currentIndex();

  const bool changed = textEdited || subject != document_.GetSubject() ||
                       emailFieldIndex != document_.GetEmailFieldIndex();
  if (changed) document_.SetModifiedFlag(true);

  document_.SetSubject(subject);
  document_.SetEmailFieldIndex(emailFieldIndex);
  // Unedited since the load or the last update: the document holds the text.
  if (!textEdited) return;
  document_.SetBody(loadedBody_.BytesFor(MessageText()));
  // The document's modified flag carries the edit from here until a Save;
  // were the edit's own mark kept, a project just saved would count as
  // changed again.
  messageEdit_->document()->setModified(false);
}

QString CMessageView::MessageText() const {
  // toPlainText would turn no-break spaces into plain ones.
  QString text = messageEdit_->document()->toRawText();
  for (QChar& c : text) {
    switch (c.unicode()) {
      case QChar::ParagraphSeparator:
      case QChar::LineSeparator:
        c = QLatin1Char('\n');
        break;
      default:
        break;
    }
  }
  return text;
}

void CMessageView::OnToComboSelChange(int index) {
  // Choosing the field already chosen changes nothing.
  if (index < 0 || index == document_.GetEmailFieldIndex()) return;
  document_.SetEmailFieldIndex(index);
  document_.SetModifiedFlag(true);
}

// ---- insertions ---------------------------------------------------------------

// Replaces the selection, or goes in at the caret, as one step of Undo; the
// clipboard keeps what the user put there.
void CMessageView::InsertText(const std::string& text) {
  const QString shown = DecodeLetterBytes(text);
  static_cast<LetterEdit*>(messageEdit_)->PrepareFor(shown);
  // A step of its own: inserted plainly it would join the text typed just
  // before it, and Undo would take that away as well.
  QTextCursor cursor = messageEdit_->textCursor();
  cursor.beginEditBlock();
  cursor.insertText(shown);
  cursor.endEditBlock();
  messageEdit_->setTextCursor(cursor);
  messageEdit_->ensureCursorVisible();
}

void CMessageView::InsertAtCaret(const std::string& text) { InsertText(text); }

void CMessageView::InsertAtStart(const std::string& text) {
  QTextCursor start = messageEdit_->textCursor();
  start.movePosition(QTextCursor::Start);
  messageEdit_->setTextCursor(start);
  InsertText(text);
}

// ---- edit commands --------------------------------------------------------------

void CMessageView::Undo() { messageEdit_->undo(); }
void CMessageView::Cut() { messageEdit_->cut(); }
void CMessageView::Copy() { messageEdit_->copy(); }
void CMessageView::Paste() { messageEdit_->paste(); }

bool CMessageView::CanUndo() const { return messageEdit_->document()->isUndoAvailable(); }
bool CMessageView::HasTextSelection() const { return messageEdit_->textCursor().hasSelection(); }
bool CMessageView::CanPaste() const { return messageEdit_->canPaste(); }

void CMessageView::OnSubjectEditKey(QKeySequence::StandardKey key) {
  switch (key) {
    case QKeySequence::Undo:
      Undo();
      break;
    case QKeySequence::Cut:
      Cut();
      break;
    case QKeySequence::Copy:
      Copy();
      break;
    case QKeySequence::Paste:
      Paste();
      break;
    default:
      break;
  }
  emit editStateChanged();
}

}  // namespace postrider
