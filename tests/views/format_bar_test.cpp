#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QTest>
#include <QTextCursor>
#include <QToolButton>

#include <memory>

#include "project/postridr_doc.h"
#include "qt_support/modal_driver.h"
#include "qt_support/test_environment.h"
#include "views/display_text.h"
#include "views/format_bar.h"
#include "views/markdown_marks.h"
#include "views/message_view.h"
#include "views/message_view_test_support.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

const QByteArray kLetter = "To: \nFrom:  \nSubject: News\nHello world\nsecond line\n";

// Selects `length` characters from `start` of the edit's text.
void Select(QPlainTextEdit* edit, int start, int length) {
  QTextCursor cursor = edit->textCursor();
  cursor.setPosition(start);
  cursor.setPosition(start + length, QTextCursor::KeepAnchor);
  edit->setTextCursor(cursor);
}

}  // namespace

class FormatBarTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    env = std::make_unique<DesktopTestEnvironment>();
    document = std::make_unique<CPostridrDoc>();
    document->SetPrompts(&prompts);
    view = std::make_unique<CMessageView>(*document);
  }
  void cleanup() {
    view.reset();
    document.reset();
    env.reset();
  }

  void MarksGoAroundTheWordsNeverTheBlanksAndEachLineOnItsOwn();
  void EachButtonWritesItsMarksAsOneStepOfUndo();
  void TheBarShowsOverAMarkdownLetterOnly();
  void PictureOpensInTheLettersFolder();

 private:
  void Open(const QByteArray& projectExtra) {
    const QString path = WriteLetterProject(*env, kLetter);
    QFile file(path);
    QVERIFY(file.open(QIODevice::Append));
    file.write(projectExtra);
    file.close();
    QVERIFY(document->OnOpenDocument(PathOf(path)));
    view->resize(500, 300);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));
  }

  std::unique_ptr<DesktopTestEnvironment> env;
  AnsweringPrompts prompts;
  std::unique_ptr<CPostridrDoc> document;
  std::unique_ptr<CMessageView> view;
};

void FormatBarTest::MarksGoAroundTheWordsNeverTheBlanksAndEachLineOnItsOwn() {
  const struct {
    QString selected;
    QString mark;
    QString text;
  } wraps[] = {
      {"world", "**", "**world**"},
      {" world  ", "*", " *world*  "},
      {"one\ntwo\n", "**", "**one**\n**two**\n"},
      {"  ", "**", "  "},
  };
  for (const auto& c : wraps) QCOMPARE(WrapInMarks(c.selected, c.mark).text, c.text);
  const MarkedText empty = WrapInMarks(QString(), QStringLiteral("**"));
  QCOMPARE(empty.text, QStringLiteral("****"));
  QCOMPARE(empty.selectStart, 2);

  QCOMPARE(PrefixLines(QStringLiteral("a\n\nb"), QStringLiteral("- ")).text,
           QStringLiteral("- a\n\n- b"));
  QCOMPARE(PrefixLines(QStringLiteral("- a\n\n- b"), QStringLiteral("- ")).text,
           QStringLiteral("a\n\nb"));
  QCOMPARE(PrefixLines(QStringLiteral("- a\nb"), QStringLiteral("- ")).text,
           QStringLiteral("- - a\n- b"));
  QCOMPARE(PrefixLines(QString(), QStringLiteral("## ")).text, QStringLiteral("## "));

  const MarkedText link = MakeLink(QStringLiteral("our site"));
  QCOMPARE(link.text, QStringLiteral("[our site](https://)"));
  QCOMPARE(link.text.mid(link.selectStart, link.selectLength), QStringLiteral("https://"));
  QCOMPARE(MakePicture(QString(), QStringLiteral("/home/ann/my (1).png")).text,
           QStringLiteral("![my (1).png](</home/ann/my (1).png>)"));
  QCOMPARE(MakePicture(QStringLiteral("Logo"), QStringLiteral("logo.png")).text,
           QStringLiteral("![Logo](logo.png)"));
}

void FormatBarTest::EachButtonWritesItsMarksAsOneStepOfUndo() {
  Open("MessageFormat=markdown\n");
  FormatBar* bar = view->formatBar();
  QPlainTextEdit* edit = view->messageEdit();
  const QString original = edit->toPlainText();

  Select(edit, 6, 5);  // "world"
  QTest::mouseClick(bar->boldButton(), Qt::LeftButton);
  QCOMPARE(edit->toPlainText(), QStringLiteral("Hello **world**\nsecond line\n"));
  QCOMPARE(edit->textCursor().selectedText(), QStringLiteral("**world**"));
  edit->undo();
  QCOMPARE(edit->toPlainText(), original);

  // The caret in the second line: the heading mark goes at its start.
  Select(edit, 15, 0);
  QTest::mouseClick(bar->headingButton(), Qt::LeftButton);
  QCOMPARE(edit->toPlainText(), QStringLiteral("Hello world\n## second line\n"));
  edit->undo();

  // Both lines, partly selected: each becomes an item.
  Select(edit, 3, 12);
  QTest::mouseClick(bar->listButton(), Qt::LeftButton);
  QCOMPARE(edit->toPlainText(), QStringLiteral("- Hello world\n- second line\n"));
  edit->undo();

  Select(edit, 0, 5);
  QTest::mouseClick(bar->linkButton(), Qt::LeftButton);
  QTest::keyClicks(edit, QStringLiteral("https://example.org"));
  QCOMPARE(edit->toPlainText(),
           QStringLiteral("[Hello](https://example.org) world\nsecond line\n"));
  edit->undo();
  edit->undo();

  int asked = 0;
  bar->SetPictureChooser([&asked] {
    ++asked;
    return asked == 1 ? QString() : QStringLiteral("pictures/logo.png");
  });
  Select(edit, 0, 0);
  QTest::mouseClick(bar->pictureButton(), Qt::LeftButton);
  QCOMPARE(edit->toPlainText(), original);  // no file chosen: nothing written
  QTest::mouseClick(bar->pictureButton(), Qt::LeftButton);
  QCOMPARE(edit->toPlainText(),
           QStringLiteral("![logo.png](pictures/logo.png)Hello world\nsecond line\n"));
  QCOMPARE(asked, 2);

  // The edit kept the focus, and the text goes to the document as typed.
  QVERIFY(edit->hasFocus() || QApplication::focusWidget() == nullptr);
  view->UpdateDocument();
  QVERIFY(document->IsModified());
}

void FormatBarTest::TheBarShowsOverAMarkdownLetterOnly() {
  Open("");
  QVERIFY(view->formatBar()->isHidden());

  LetterOptions options = document->GetLetterOptions();
  options.format = MessageFormat::Markdown;
  document->SetLetterOptions(options);
  view->LoadFromDocument();
  FormatBar* bar = view->formatBar();
  QTRY_VERIFY(bar->isVisible());
  // Over the letter, never over it and the band.
  QVERIFY(bar->geometry().bottom() < view->messageEdit()->geometry().top());
  QVERIFY(bar->geometry().top() >= view->layout().bandHeight);
  for (QToolButton* button : {bar->boldButton(), bar->italicButton(), bar->headingButton(),
                              bar->listButton(), bar->linkButton(), bar->pictureButton()}) {
    QVERIFY(!button->accessibleName().isEmpty());
    QVERIFY(!button->toolTip().isEmpty());
  }

  options.format = MessageFormat::Text;
  document->SetLetterOptions(options);
  view->LoadFromDocument();
  QVERIFY(bar->isHidden());
  QCOMPARE(view->messageEdit()->geometry().top(), view->layout().bandHeight);
}

void FormatBarTest::PictureOpensInTheLettersFolder() {
  // The picture paths of a letter start from its folder, not from wherever
  // the program was started.
  Open("");
  const QString letterFolder =
      QFileInfo(ShownPath(document->GetMessageFilePath())).absolutePath();
  QVERIFY(QDir(letterFolder).canonicalPath() != QDir::current().canonicalPath());
  const QString original = view->messageEdit()->toPlainText();
  QString shown;
  {
    ModalDriver driver([&shown](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      QVERIFY(dialog != nullptr);
      shown = dialog->directory().canonicalPath();
      dialog->reject();
    });
    view->formatBar()->pictureButton()->click();
    QVERIFY(driver.acted());
  }
  QCOMPARE(shown, QDir(letterFolder).canonicalPath());
  QCOMPARE(view->messageEdit()->toPlainText(), original);
}

QTEST_MAIN(FormatBarTest)
#include "format_bar_test.moc"
