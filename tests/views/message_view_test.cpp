#include <QAccessible>
#include <QAccessibleInterface>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include <memory>

#include "project/postridr_doc.h"
#include "qt_support/test_environment.h"
#include "views/message_view.h"
#include "views/message_view_test_support.h"
#include "views/shared_fonts.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

const QByteArray kLetter =
    "To: \nFrom:  \nSubject: Spring readings\nDear [[Name]],\n\nsee you in [[City]].\n";

QColor PixelAt(QWidget& widget, int x, int y) { return widget.grab().toImage().pixelColor(x, y); }

// Types `text` as key presses carrying their characters, which reaches
// letters no key code names.
void Type(QWidget* widget, const QString& text) {
  for (const QChar c : text) {
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(widget, &release);
  }
}

int DarkPixels(const QImage& image, const QRect& area) {
  int dark = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      if (qGray(image.pixel(x, y)) < 100) ++dark;
    }
  }
  return dark;
}

QString AccessibleName(QObject* object) {
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(object);
  return accessible != nullptr ? accessible->text(QAccessible::Name) : QString();
}

// The text of the label that names `control`.
QString LabelOf(QWidget* control) {
  QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(control);
  if (accessible == nullptr) return {};
  for (const auto& [other, relation] : accessible->relations(QAccessible::Label)) {
    if (other != nullptr) return other->text(QAccessible::Name);
  }
  return {};
}

}  // namespace

class MessageViewTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void BandLabelsAndControlsSitAtTheirPlaces();
  void LongLinesWrapAtTheEditsWidth();
  void LoadShowsTheLetterAndTheFieldsWithTheEmailFieldChosen();
  void ToComboChoiceMarksTheProjectModifiedAtOnce();
  void NothingChangedMarksNothingAndKeepsTheLettersBytes();
  void SaveClearsTheModifiedMarkWhateverWasEdited();
  void EditCommandsActOnTheMessageTextWithTheFocusInTheSubject();
  void EditKeysPressedInTheSubjectActOnTheMessageText();
  void InsertMergeFieldReplacesTheSelectionAndLeavesTheClipboardAlone();
  void InsertAtStartPutsTheTextFirstWhereverTheCaretWas();
  void ALatin1LetterComesBackByteForByteAndEditedStaysReadable();
  void NoListFieldsGiveAnEmptyComboAndStoreMinusOne();
  void TheSubjectKeepsEverythingTypedAndWidensWithTheView();
  void EveryControlHasAnAccessibleName();

 private:
  void OpenProject(const QByteArray& letter, const QByteArray& list = kThreeFieldList) {
    projectPath = WriteLetterProject(*env, letter, list);
    QVERIFY(document->OnOpenDocument(PathOf(projectPath)));
  }
  void ShowView() {
    view->resize(500, 300);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));
  }
  void Save() { QVERIFY(document->OnSaveDocument(PathOf(projectPath)).ok()); }
  QByteArray LetterOnDisk() const { return ReadBytes(env->File(QStringLiteral("letter.txt"))); }
  void TypeAtEnd(const QString& text) {
    QPlainTextEdit* edit = view->messageEdit();
    edit->moveCursor(QTextCursor::End);
    Type(edit, text);
  }

  std::unique_ptr<DesktopTestEnvironment> env;
  std::unique_ptr<CPostridrDoc> document;
  AnsweringPrompts prompts;
  std::unique_ptr<CMessageView> view;
  QString projectPath;
};

void MessageViewTest::init() {
  env = std::make_unique<DesktopTestEnvironment>();
  prompts = {};
  document = std::make_unique<CPostridrDoc>();
  document->SetPrompts(&prompts);
  view = std::make_unique<CMessageView>(*document);
  QApplication::clipboard()->clear();
}

void MessageViewTest::cleanup() {
  view.reset();
  document.reset();
  env.reset();
}

void MessageViewTest::BandLabelsAndControlsSitAtTheirPlaces() {
  OpenProject(kLetter);
  ShowView();
  const MessageViewLayout& layout = view->layout();
  const MessageViewLayout unscaled = MessageViewLayout::Scaled(1.0);
  QCOMPARE(unscaled.toCombo, QRect(60, 3, 300, 20));
  QCOMPARE(unscaled.subjectEdit, QRect(60, 26, 300, 20));
  QCOMPARE(view->toCombo()->geometry(), layout.toCombo);
  QCOMPARE(view->subjectEdit()->geometry(), layout.SubjectEditRect(500));
  QCOMPARE(view->messageEdit()->geometry(),
           QRect(0, layout.bandHeight, 500, 300 - layout.bandHeight));
  // A font wider than the band was drawn for widens the labels and moves the
  // controls along, two pixels right of them as before.
  const MessageViewLayout wide = MessageViewLayout::Scaled(1.0, 70);
  QCOMPARE(wide.subjectLabel, QRect(4, 26, 70, 20));
  QCOMPARE(wide.toCombo, QRect(76, 3, 300, 20));
  QCOMPARE(wide.subjectEdit.left(), wide.subjectLabel.x() + wide.subjectLabel.width() + 2);
  QVERIFY(QFontMetrics(GetSharedFonts().bold).horizontalAdvance(QStringLiteral("Subject:")) <
          layout.subjectLabel.width());

  // A band in the theme's button colour with a raised edge, right of the controls.
  const QPalette& colors = view->palette();
  const QImage image = view->grab().toImage();
  const int clear = layout.toCombo.right() + 10;
  const int bottom = layout.bandHeight - 1;
  QCOMPARE(image.pixelColor(clear, 20).rgb(), colors.color(QPalette::Button).rgb());
  QCOMPARE(image.pixelColor(0, 20).rgb(), colors.color(QPalette::Light).rgb());
  QCOMPARE(image.pixelColor(clear, 0).rgb(), colors.color(QPalette::Light).rgb());
  QCOMPARE(image.pixelColor(499, 20).rgb(), colors.color(QPalette::Dark).rgb());
  QCOMPARE(image.pixelColor(clear, bottom).rgb(), colors.color(QPalette::Dark).rgb());
  // Both labels are drawn in their rectangles in the theme's text colour.
  QVERIFY(DarkPixels(image, layout.toLabel) > 10);
  QVERIFY(DarkPixels(image, layout.subjectLabel) > DarkPixels(image, layout.toLabel));

  // Resizing keeps the band and the controls, and the text fills the rest.
  view->resize(700, 400);
  QCOMPARE(view->messageEdit()->geometry(),
           QRect(0, layout.bandHeight, 700, 400 - layout.bandHeight));
  QCOMPARE(view->toCombo()->geometry(), layout.toCombo);
  QCOMPARE(PixelAt(*view, 690, 20).rgb(), colors.color(QPalette::Button).rgb());

  // A dark theme gives a dark band, its labels written in the theme's light text.
  QPalette dark = colors;
  dark.setColor(QPalette::Button, QColor(53, 53, 53));
  dark.setColor(QPalette::ButtonText, QColor(238, 238, 236));
  dark.setColor(QPalette::Light, QColor(80, 80, 80));
  dark.setColor(QPalette::Dark, QColor(20, 20, 20));
  view->setPalette(dark);
  const QImage darkImage = view->grab().toImage();
  QCOMPARE(darkImage.pixelColor(clear, 20).rgb(), QColor(53, 53, 53).rgb());
  QCOMPARE(darkImage.pixelColor(699, 20).rgb(), QColor(20, 20, 20).rgb());
  int lightText = 0;
  for (int y = layout.subjectLabel.top(); y <= layout.subjectLabel.bottom(); ++y) {
    for (int x = layout.subjectLabel.left(); x <= layout.subjectLabel.right(); ++x) {
      lightText += qGray(darkImage.pixel(x, y)) > 180;
    }
  }
  QVERIFY(lightText > 10);
}

void MessageViewTest::LongLinesWrapAtTheEditsWidth() {
  OpenProject("To: \nFrom:  \nSubject: x\n" + QByteArray(400, 'w') + "\n");
  ShowView();
  QPlainTextEdit* edit = view->messageEdit();
  QCOMPARE(edit->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
  QCOMPARE(edit->font(), GetSharedFonts().fixed);
  QTRY_VERIFY(edit->document()->firstBlock().layout()->lineCount() > 1);

  // A pasted or inserted run far longer than any word breaks anywhere, as a
  // letter loaded with one does: laid out between words it would hold the
  // window for minutes.
  QCOMPARE(edit->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
  QApplication::clipboard()->setText(QStringLiteral("see ") + QString(5000, QLatin1Char('z')));
  edit->moveCursor(QTextCursor::End);
  view->Paste();
  QCOMPARE(edit->wordWrapMode(), QTextOption::WrapAnywhere);
  QVERIFY(view->MessageText().endsWith(QStringLiteral("\nsee ") + QString(5000, QLatin1Char('z'))));
  view->LoadFromDocument();
  QCOMPARE(edit->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
  view->InsertAtStart(std::string(3000, 'q'));
  QCOMPARE(edit->wordWrapMode(), QTextOption::WrapAnywhere);
}

void MessageViewTest::LoadShowsTheLetterAndTheFieldsWithTheEmailFieldChosen() {
  OpenProject(kLetter);
  QCOMPARE(view->subjectEdit()->text(), QStringLiteral("Spring readings"));
  QCOMPARE(view->MessageText(), QStringLiteral("Dear [[Name]],\n\nsee you in [[City]].\n"));
  QComboBox* to = view->toCombo();
  QCOMPARE(to->count(), 3);
  QCOMPARE(to->itemText(0), QStringLiteral("Name"));
  QCOMPARE(to->itemText(2), QStringLiteral("City"));
  QCOMPARE(to->currentIndex(), 1);
  QVERIFY(!view->messageEdit()->document()->isModified());
  QVERIFY(!view->CanUndo());
}

void MessageViewTest::ToComboChoiceMarksTheProjectModifiedAtOnce() {
  OpenProject(kLetter);
  ShowView();
  Save();
  QVERIFY(!document->IsModified());

  // The field already chosen, chosen again, changes nothing.
  emit view->toCombo()->activated(1);
  QVERIFY(!document->IsModified());

  QTest::keyClick(view->toCombo(), Qt::Key_Down);
  QCOMPARE(view->toCombo()->currentIndex(), 2);
  QCOMPARE(document->GetEmailFieldIndex(), 2);
  QVERIFY(document->IsModified());

  // A load sets the choice without counting as the user's.
  Save();
  document->RefreshViews();
  QVERIFY(!document->IsModified());
  QCOMPARE(view->toCombo()->currentIndex(), 2);
}

void MessageViewTest::NothingChangedMarksNothingAndKeepsTheLettersBytes() {
  OpenProject(kLetter);
  Save();
  view->UpdateDocument();
  QVERIFY(!document->IsModified());
  // The letter's LF line ends stay as they were.
  QCOMPARE(document->GetBody(), std::string("Dear [[Name]],\n\nsee you in [[City]].\n"));
  QCOMPARE(LetterOnDisk(), kLetter);
  QVERIFY(prompts.saveQuestions.empty() && document->CanCloseFrame());
  QVERIFY(prompts.saveQuestions.empty());
}

void MessageViewTest::SaveClearsTheModifiedMarkWhateverWasEdited() {
  OpenProject(kLetter);
  Save();
  TypeAtEnd(QStringLiteral("Bye"));
  // Noticed only when the document takes the view's copy.
  QVERIFY(!document->IsModified());
  view->UpdateDocument();
  QVERIFY(document->IsModified());

  Save();
  QVERIFY(!document->IsModified());
  QCOMPARE(LetterOnDisk(), QByteArray("To: \nFrom:  \nSubject: Spring readings\n"
                                      "Dear [[Name]],\r\n\r\nsee you in [[City]].\r\nBye"));
  // What was saved is not a change, so closing asks nothing.
  view->UpdateDocument();
  QVERIFY(!document->IsModified());
  QVERIFY(!view->messageEdit()->document()->isModified());
  QVERIFY(document->CanCloseFrame());
  QVERIFY(prompts.saveQuestions.empty());

  // Typing again is a change again, and Undo still reaches the first edit.
  TypeAtEnd(QStringLiteral("!"));
  QVERIFY(document->CanCloseFrame());
  QCOMPARE(prompts.saveQuestions.size(), std::size_t(1));
  QVERIFY(document->GetBody().ends_with("Bye!"));
  for (int i = 0; i < 4; ++i) view->Undo();
  view->UpdateDocument();
  QCOMPARE(document->GetBody(), std::string("Dear [[Name]],\n\nsee you in [[City]].\n"));

  // A subject change alone is noticed as well, and a save clears it too.
  document->RefreshViews();
  Save();
  view->subjectEdit()->setText(QStringLiteral("Autumn readings"));
  view->UpdateDocument();
  QVERIFY(document->IsModified());
  QCOMPARE(document->GetSubject(), std::string("Autumn readings"));
  Save();
  view->UpdateDocument();
  QVERIFY(!document->IsModified());
}

void MessageViewTest::EditCommandsActOnTheMessageTextWithTheFocusInTheSubject() {
  OpenProject("To: \nFrom:  \nSubject: Hi\nHello world");
  ShowView();
  view->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(view.get()));
  QLineEdit* subject = view->subjectEdit();
  subject->setFocus();
  QTRY_VERIFY(subject->hasFocus());
  subject->selectAll();

  QPlainTextEdit* edit = view->messageEdit();
  QSignalSpy states(view.get(), &CMessageView::editStateChanged);
  QVERIFY(!view->HasTextSelection());
  QTextCursor cursor = edit->textCursor();
  cursor.setPosition(6);
  cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
  edit->setTextCursor(cursor);
  QVERIFY(view->HasTextSelection());
  QVERIFY(states.count() > 0);

  view->Copy();
  QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("world"));
  QVERIFY(view->CanPaste());
  view->Cut();
  QCOMPARE(view->MessageText(), QStringLiteral("Hello "));
  QVERIFY(!view->HasTextSelection());
  QVERIFY(view->CanUndo());
  edit->moveCursor(QTextCursor::Start);
  view->Paste();
  QCOMPARE(view->MessageText(), QStringLiteral("worldHello "));
  view->Undo();
  QCOMPARE(view->MessageText(), QStringLiteral("Hello "));

  // The subject and the focus were left alone.
  QCOMPARE(subject->text(), QStringLiteral("Hi"));
  QVERIFY(subject->hasFocus());
  QApplication::clipboard()->clear();
  QTRY_VERIFY(!view->CanPaste());
}

void MessageViewTest::EditKeysPressedInTheSubjectActOnTheMessageText() {
  OpenProject("To: \nFrom:  \nSubject: Hi\nHello");
  QLineEdit* subject = view->subjectEdit();
  QApplication::clipboard()->setText(QStringLiteral(" there"));
  view->messageEdit()->moveCursor(QTextCursor::End);

  QTest::keyClick(subject, Qt::Key_V, Qt::ControlModifier);
  QCOMPARE(view->MessageText(), QStringLiteral("Hello there"));
  QCOMPARE(subject->text(), QStringLiteral("Hi"));
  QTest::keyClick(subject, Qt::Key_Z, Qt::ControlModifier);
  QCOMPARE(view->MessageText(), QStringLiteral("Hello"));

  view->messageEdit()->selectAll();
  QTest::keyClick(subject, Qt::Key_X, Qt::ControlModifier);
  QCOMPARE(view->MessageText(), QString());
  QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Hello"));
  // Other keys still type into the subject.
  QTest::keyClick(subject, Qt::Key_End);
  QTest::keyClicks(subject, QStringLiteral("!"));
  QCOMPARE(subject->text(), QStringLiteral("Hi!"));
}

void MessageViewTest::InsertMergeFieldReplacesTheSelectionAndLeavesTheClipboardAlone() {
  OpenProject(kLetter);
  QApplication::clipboard()->setText(QStringLiteral("the user's own words"));
  QPlainTextEdit* edit = view->messageEdit();
  QTextCursor cursor = edit->textCursor();
  cursor.setPosition(5);
  cursor.setPosition(13, QTextCursor::KeepAnchor);  // "[[Name]]"
  edit->setTextCursor(cursor);

  document->InsertMergeField(2);
  QCOMPARE(view->MessageText(), QStringLiteral("Dear [[City]],\n\nsee you in [[City]].\n"));
  QCOMPARE(edit->textCursor().position(), 13);
  QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("the user's own words"));
  // One Undo takes the insertion back whole.
  view->Undo();
  QCOMPARE(view->MessageText(), QStringLiteral("Dear [[Name]],\n\nsee you in [[City]].\n"));

  // At the caret when nothing is selected, and Undo takes back the field
  // alone, not what was typed before it; Redo puts it back.
  edit->moveCursor(QTextCursor::End);
  Type(edit, QStringLiteral("P.S. "));
  document->InsertMergeField(0);
  QVERIFY(view->MessageText().endsWith(QStringLiteral(".\nP.S. [[Name]]")));
  view->Undo();
  QVERIFY(view->MessageText().endsWith(QStringLiteral(".\nP.S. ")));
  edit->redo();
  QVERIFY(view->MessageText().endsWith(QStringLiteral(".\nP.S. [[Name]]")));
  view->UpdateDocument();
  QVERIFY(document->IsModified());
  QVERIFY(document->GetBody().ends_with(".\r\nP.S. [[Name]]"));
  QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("the user's own words"));

  // No such field: nothing happens.
  const QString before = view->MessageText();
  document->InsertMergeField(3);
  document->InsertMergeField(-1);
  QCOMPARE(view->MessageText(), before);
}

void MessageViewTest::InsertAtStartPutsTheTextFirstWhereverTheCaretWas() {
  QByteArray body;
  for (int line = 0; line < 200; ++line) body += "line " + QByteArray::number(line) + "\n";
  OpenProject("To: \nFrom:  \nSubject: x\n" + body);
  ShowView();
  QPlainTextEdit* edit = view->messageEdit();
  edit->moveCursor(QTextCursor::End);
  edit->ensureCursorVisible();
  QTRY_VERIFY(edit->verticalScrollBar()->value() > 0);

  view->InsertAtStart("[[Attachment:  /tmp/report.pdf]]\r\n");
  const QString text = view->MessageText();
  QVERIFY(text.startsWith(QStringLiteral("[[Attachment:  /tmp/report.pdf]]\nline 0\nline 1\n")));
  QVERIFY(text.endsWith(QStringLiteral("line 199\n")));
  QCOMPARE(edit->verticalScrollBar()->value(), 0);
  QVERIFY(QApplication::clipboard()->text().isEmpty());

  // From the middle of a selection too.
  QTextCursor middle = edit->textCursor();
  middle.setPosition(60);
  middle.setPosition(70, QTextCursor::KeepAnchor);
  edit->setTextCursor(middle);
  view->InsertAtStart("[[Attachment:  /tmp/b.pdf]]\r\n");
  QVERIFY(view->MessageText().startsWith(
      QStringLiteral("[[Attachment:  /tmp/b.pdf]]\n[[Attachment:  /tmp/report.pdf]]\n")));
  QCOMPARE(view->MessageText().size(), text.size() + 28);
}

void MessageViewTest::ALatin1LetterComesBackByteForByteAndEditedStaysReadable() {
  const QByteArray letter =
      "To: \nFrom:  \nSubject: R\xE9union \x96 \xE9t\xE9\nCher Andr\xE9,\n\n\xC0 bient\xF4t\xA0!\n";
  OpenProject(letter, "Pr\xE9nom\tEmail\nAndr\xE9\ta@example.com\n");
  QCOMPARE(view->subjectEdit()->text(), QStringLiteral("Réunion – été"));
  QCOMPARE(view->MessageText(), QStringLiteral("Cher André,\n\nÀ bientôt\u00A0!\n"));
  QCOMPARE(view->toCombo()->itemText(0), QStringLiteral("Prénom"));

  Save();
  QCOMPARE(LetterOnDisk(), letter);

  // Edited with letters Latin-1 holds: still Latin-1, now with CR LF lines.
  TypeAtEnd(QStringLiteral("Tr\u00E8s "));
  document->InsertMergeField(0);
  Save();
  QCOMPARE(LetterOnDisk(),
           QByteArray("To: \nFrom:  \nSubject: R\xE9union \x96 \xE9t\xE9\n"
                      "Cher Andr\xE9,\r\n\r\n\xC0 bient\xF4t\xA0!\r\nTr\xE8s [[Pr\xE9nom]]"));

  // A letter Latin-1 cannot hold: the text goes to UTF-8 rather than losing it.
  TypeAtEnd(QStringLiteral(" \u0141\u00F3d\u017A"));
  Save();
  const QByteArray utf8 = LetterOnDisk();
  QVERIFY(
      utf8.endsWith("\xC3\x80 bient\xC3\xB4t\xC2\xA0!\r\nTr\xC3\xA8s [[Pr\xC3\xA9nom]] "
                    "\xC5\x81\xC3\xB3\x64\xC5\xBA"));
  // The subject was not touched: its bytes stay single-byte.
  QVERIFY(utf8.startsWith("To: \nFrom:  \nSubject: R\xE9union \x96 \xE9t\xE9\n"));

  CPostridrDoc again;
  CMessageView reopened(again);
  QVERIFY(again.OnOpenDocument(PathOf(projectPath)));
  QVERIFY(reopened.MessageText().endsWith(QStringLiteral("Très [[Prénom]] Łódź")));
  QVERIFY(!reopened.MessageText().contains(QChar::ReplacementCharacter));
  QCOMPARE(reopened.subjectEdit()->text(), QStringLiteral("Réunion – été"));
}

void MessageViewTest::NoListFieldsGiveAnEmptyComboAndStoreMinusOne() {
  OpenProject(kLetter, QByteArray());
  QCOMPARE(view->toCombo()->count(), 0);
  QCOMPARE(view->toCombo()->currentIndex(), -1);
  QCOMPARE(document->GetEmailFieldIndex(), 1);  // as the project file said
  view->UpdateDocument();
  QCOMPARE(document->GetEmailFieldIndex(), -1);
}

void MessageViewTest::TheSubjectKeepsEverythingTypedAndWidensWithTheView() {
  OpenProject(kLetter);
  ShowView();
  QLineEdit* subject = view->subjectEdit();
  const int narrow = subject->width();
  QVERIFY(subject->geometry().right() < view->width());
  view->resize(1200, 300);
  QTRY_VERIFY(subject->width() > narrow + 600);
  QVERIFY(subject->geometry().right() < view->width());

  // Typed and pasted text far wider than the field is all kept, and saved.
  subject->clear();
  const QString typed = QString(200, QLatin1Char('W'));
  QTest::keyClicks(subject, typed);
  QCOMPARE(subject->text(), typed);
  QVERIFY(subject->fontMetrics().horizontalAdvance(typed) > subject->width());
  QApplication::clipboard()->setText(QString(300, QLatin1Char('m')));
  subject->paste();
  QCOMPARE(subject->text().size(), qsizetype(500));
  Save();
  QVERIFY(LetterOnDisk().startsWith("To: \nFrom:  \nSubject: " + QByteArray(200, 'W') +
                                    QByteArray(300, 'm') + "\n"));

  // Lines pasted or dropped into the one-line field: a space for each break,
  // so what is saved and loaded again is what the field showed.
  subject->clear();
  QApplication::clipboard()->setText(QStringLiteral("Spring\r\nreadings\nfor\u2029all\r"));
  subject->paste();
  QCOMPARE(subject->text(), QStringLiteral("Spring readings for all "));
  subject->setCursorPosition(6);
  subject->insert(QStringLiteral("\n\n"));
  QCOMPARE(subject->text(), QStringLiteral("Spring   readings for all "));
  QCOMPARE(subject->cursorPosition(), 8);
  subject->setText(QStringLiteral("Spring readings\nfor all"));
  Save();
  QVERIFY(LetterOnDisk().startsWith("To: \nFrom:  \nSubject: Spring readings for all\n"));
  {
    CPostridrDoc again;
    CMessageView reopened(again);
    QVERIFY(again.OnOpenDocument(PathOf(projectPath)));
    QCOMPARE(reopened.subjectEdit()->text(), QStringLiteral("Spring readings for all"));
  }

  // A loaded subject longer than a line edit takes by default comes back whole.
  const std::string huge(40000, 'x');
  document->SetSubject(huge);
  view->LoadFromDocument();
  view->UpdateDocument();
  QCOMPARE(document->GetSubject().size(), huge.size());
}

void MessageViewTest::EveryControlHasAnAccessibleName() {
  OpenProject(kLetter);
  QCOMPARE(view->toCombo()->accessibleName(), QStringLiteral("To"));
  QCOMPARE(AccessibleName(view->subjectEdit()), QStringLiteral("Subject"));
  QCOMPARE(AccessibleName(view->messageEdit()), QStringLiteral("Message text"));
  // The band's labels name their controls for assistive technology.
  QCOMPARE(LabelOf(view->toCombo()), QStringLiteral("To:"));
  QCOMPARE(LabelOf(view->subjectEdit()), QStringLiteral("Subject:"));
}

QTEST_MAIN(MessageViewTest)
#include "message_view_test.moc"
