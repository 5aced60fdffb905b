#include "views/format_bar.h"

#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextCursor>
#include <QToolButton>

#include "views/markdown_marks.h"

namespace postrider {

namespace {

// The edit's selection with its paragraph separators as "\n".
QString SelectedText(const QTextCursor& cursor) {
  QString text = cursor.selectedText();
  text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
  return text;
}

}  // namespace

FormatBar::FormatBar(QPlainTextEdit& edit, QWidget* parent) : QWidget(parent), edit_(edit) {
  setAccessibleName(QStringLiteral("Format"));
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(2, 1, 2, 1);
  layout->setSpacing(2);
  bold_ = MakeButton(QStringLiteral("B"), QStringLiteral("Bold"),
                     QStringLiteral("Bold: **text**"));
  QFont boldFont = bold_->font();
  boldFont.setBold(true);
  bold_->setFont(boldFont);
  italic_ = MakeButton(QStringLiteral("I"), QStringLiteral("Italic"),
                       QStringLiteral("Italic: *text*"));
  QFont italicFont = italic_->font();
  italicFont.setItalic(true);
  italic_->setFont(italicFont);
  heading_ = MakeButton(QStringLiteral("H"), QStringLiteral("Heading"),
                        QStringLiteral("Heading: ## at the start of the line"));
  list_ = MakeButton(QStringLiteral("List"), QStringLiteral("List"),
                     QStringLiteral("List: - at the start of each line"));
  link_ = MakeButton(QStringLiteral("Link"), QStringLiteral("Link"),
                     QStringLiteral("Link: [text](https://...)"));
  picture_ = MakeButton(QStringLiteral("Picture..."), QStringLiteral("Picture"),
                        QStringLiteral("Picture: ![text](file), sent inside the message"));
  layout->addStretch(1);

  choosePicture_ = [this] {
    // Not the folder the program was started in.
    QString folder = pictureFolder_ ? pictureFolder_() : QString();
    if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
    return QFileDialog::getOpenFileName(this, QStringLiteral("Picture"), folder,
                                        QStringLiteral("Pictures (*.png *.jpg *.jpeg *.gif "
                                                       "*.webp);;All files (*)"));
  };
  connect(bold_, &QToolButton::clicked, this, [this] { Wrap(QStringLiteral("**")); });
  connect(italic_, &QToolButton::clicked, this, [this] { Wrap(QStringLiteral("*")); });
  connect(heading_, &QToolButton::clicked, this, [this] { Prefix(QStringLiteral("## ")); });
  connect(list_, &QToolButton::clicked, this, [this] { Prefix(QStringLiteral("- ")); });
  connect(link_, &QToolButton::clicked, this, &FormatBar::Link);
  connect(picture_, &QToolButton::clicked, this, &FormatBar::Picture);
}

QToolButton* FormatBar::MakeButton(const QString& text, const QString& name,
                                   const QString& tip) {
  auto* button = new QToolButton(this);
  button->setText(text);
  button->setAccessibleName(name);
  button->setToolTip(tip);
  button->setAutoRaise(true);
  // The letter keeps the focus and its selection.
  button->setFocusPolicy(Qt::NoFocus);
  layout()->addWidget(button);
  return button;
}

void FormatBar::Replace(QTextCursor cursor, const MarkedText& marked) {
  const int start = cursor.selectionStart();
  cursor.beginEditBlock();
  cursor.insertText(marked.text);
  cursor.endEditBlock();
  cursor.setPosition(start + marked.selectStart);
  cursor.setPosition(start + marked.selectStart + marked.selectLength, QTextCursor::KeepAnchor);
  edit_.setTextCursor(cursor);
  edit_.setFocus();
}

void FormatBar::Wrap(const QString& mark) {
  Replace(edit_.textCursor(), WrapInMarks(SelectedText(edit_.textCursor()), mark));
}

void FormatBar::Prefix(const QString& prefix) {
  QTextCursor cursor = edit_.textCursor();
  const QTextBlock first = edit_.document()->findBlock(cursor.selectionStart());
  const QTextBlock last = edit_.document()->findBlock(cursor.selectionEnd());
  QTextCursor lines(edit_.document());
  lines.setPosition(first.position());
  lines.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);
  Replace(lines, PrefixLines(SelectedText(lines), prefix));
}

void FormatBar::Link() { Replace(edit_.textCursor(), MakeLink(SelectedText(edit_.textCursor()))); }

void FormatBar::Picture() {
  const QString path = choosePicture_ ? choosePicture_() : QString();
  if (path.isEmpty()) return;
  Replace(edit_.textCursor(), MakePicture(SelectedText(edit_.textCursor()), path));
}

}  // namespace postrider
