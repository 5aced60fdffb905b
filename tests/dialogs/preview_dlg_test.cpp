#include <QAccessible>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <cstdio>
#include <memory>

#include "dialogs/preview_dlg.h"
#include "project/postridr_doc.h"
#include "qt_support/test_environment.h"
#include "support/recording_views.h"
#include "views/display_text.h"

using namespace postrider;
using namespace postrider::testing;

class PreviewDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    env = std::make_unique<DesktopTestEnvironment>();
    folder = PathBytes(env->path());
    FILE* file = fopen((folder + "/Fee 1.pdf").c_str(), "wb");
    QVERIFY(file != nullptr);
    fputs("%PDF-1.4 fee one", file);
    fclose(file);
    TestProject project(
        "Name\tEmail\tInvoice\n"
        "Ann\tann@example.com\t1\n"
        "Bob\tbob@example.com\t2\n");
    project.letterText = "To: \nFrom: \nSubject: Fee\n[[Attachment:  " + folder +
                         "/Fee [[Invoice]].pdf]]\nDear [[Name]],\n";
    recorded = std::make_unique<RecordedDocument>();
    QVERIFY(recorded->Open(folder, project));
    recorded->document.SelectAll();
  }
  void cleanup() {
    recorded.reset();
    env.reset();
  }

  void ListsEachFileWithTypeAndSizeAndSaysWhichIsMissing();
  void ALetterOfOneHugeWordIsShownWrappedAnywhere();
  void AnAttachmentLineBeyondTheTenthIsListedWithItsProblem();
  void TheEntryAndWhySendWouldSkipItAreReadAsShown();
  void ANulInAValueHidesNothingAfterIt();
  void AListWrittenMeanwhileIsNamedAtTheNextStep();

 private:
  std::unique_ptr<DesktopTestEnvironment> env;
  std::unique_ptr<RecordedDocument> recorded;
  std::string folder;
  UserSettings settings;
};

void PreviewDlgTest::ListsEachFileWithTypeAndSizeAndSaysWhichIsMissing() {
  CPreviewDlg dialog(recorded->document, settings, 0);
  dialog.show();
  QListWidget* list = dialog.attachmentList();
  QVERIFY(list->isVisible());
  QCOMPARE(list->count(), 1);
  QCOMPARE(list->item(0)->text(), QStringLiteral("Fee 1.pdf (application/pdf, 16 bytes)"));
  // The attachment line is no part of the text the recipient reads.
  QVERIFY(!dialog.messageText()->toPlainText().contains(QStringLiteral("Attachment")));
  QVERIFY(dialog.skipLabel()->isHidden());

  dialog.nextButton()->click();
  QCOMPARE(dialog.entry(), 1);
  QCOMPARE(list->count(), 1);
  QCOMPARE(list->item(0)->text(),
           ShownPath(folder) + QStringLiteral("/Fee 2.pdf: the file does not exist"));
  QVERIFY(dialog.skipLabel()->isVisible());

  // A letter without attachment lines shows no list.
  recorded->messageView.body = "Dear [[Name]],\n";
  dialog.ShowEntry(0);
  QVERIFY(list->isHidden());
}

// Qt's search for a word boundary in a word of a million characters held the
// window for minutes at each layout.
void PreviewDlgTest::ALetterOfOneHugeWordIsShownWrappedAnywhere() {
  const std::string word(1 << 20, 'x');
  recorded->messageView.body = "Dear [[Name]] " + word + "\nend\n";
  CPreviewDlg dialog(recorded->document, settings, 0);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  QCOMPARE(dialog.messageText()->wordWrapMode(), QTextOption::WrapAnywhere);
  QVERIFY(dialog.messageText()->toPlainText().contains(
      QStringLiteral("Dear Ann ") + QString::fromStdString(word) + QStringLiteral("\nend")));

  recorded->messageView.body = "Dear [[Name]],\n";
  dialog.ShowEntry(1);
  QCOMPARE(dialog.messageText()->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
}

// Send refuses a letter of more than ten attachment lines; Preview showed the
// first ten as if all were well.
void PreviewDlgTest::AnAttachmentLineBeyondTheTenthIsListedWithItsProblem() {
  std::string lines;
  for (int i = 0; i < 12; ++i) lines += "[[Attachment:  " + folder + "/Fee 1.pdf]]\n";
  recorded->messageView.body = lines + "Dear [[Name]],\n";
  CPreviewDlg dialog(recorded->document, settings, 0);
  QListWidget* list = dialog.attachmentList();
  QCOMPARE(list->count(), 11);
  QCOMPARE(list->item(9)->text(), QStringLiteral("Fee 1.pdf (application/pdf, 16 bytes)"));
  QCOMPARE(list->item(10)->text(),
           ShownPath(folder) + QStringLiteral("/Fee 1.pdf: a message carries at most 10 files"));
  QVERIFY(!dialog.skipLabel()->text().isEmpty());
  QVERIFY(!dialog.messageText()->toPlainText().contains(QStringLiteral("Attachment")));
}

// A screen reader heard "Entry" and "Would be skipped", never which entry or why.
void PreviewDlgTest::TheEntryAndWhySendWouldSkipItAreReadAsShown() {
  CPreviewDlg dialog(recorded->document, settings, 1);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  QVERIFY(dialog.skipLabel()->isVisible());
  for (QLabel* label : {dialog.entryLabel(), dialog.skipLabel()}) {
    QAccessibleInterface* read = QAccessible::queryAccessibleInterface(label);
    QCOMPARE(read->text(QAccessible::Name), label->text());
    QVERIFY(!read->text(QAccessible::Description).isEmpty());
  }
  QVERIFY(dialog.entryLabel()->text().contains(QStringLiteral("bob@example.com")));
}

// A screen reader's bus carries text only up to a NUL: a value holding one
// left the rest of the letter unread.
void PreviewDlgTest::ANulInAValueHidesNothingAfterIt() {
  using namespace std::string_literals;
  TestProject project("Name\tEmail\nA\0B\x01" "C\tann@example.com\n"s);
  project.marks = std::string(32000, '\x80');
  RecordedDocument odd;
  QVERIFY(odd.Open(folder, project));
  odd.messageView.body = "Dear [[Name]],\nsee you.\n";
  CPreviewDlg dialog(odd.document, settings, 0);
  const QString shown = dialog.messageText()->toPlainText();
  QVERIFY2(!shown.contains(QChar(0)), qPrintable(shown));
  QVERIFY2(shown.contains(QStringLiteral("Dear A\u2400B\u0001C,\nsee you.")), qPrintable(shown));
  QVERIFY(!dialog.entryLabel()->text().contains(QChar(0)));
}

// A spreadsheet saved the list while the preview was open: a row read from
// the file now may be someone else's, which Send would never send, yet it
// showed as the message that goes.
void PreviewDlgTest::AListWrittenMeanwhileIsNamedAtTheNextStep() {
  std::string rows = "Name\tEmail\n";
  for (int i = 0; i < 400; ++i) rows += "Person " + std::to_string(i) + "\tp" + std::to_string(i) + "@example.com\n";
  RecordedDocument big;
  QVERIFY(big.Open(folder, TestProject(rows)));
  big.messageView.body = "Dear [[Name]],\n";
  big.document.UnselectAll();
  big.document.ToggleEntrySelection(0);
  big.document.ToggleEntrySelection(399);  // far past what the first look read
  CPreviewDlg dialog(big.document, settings, 0);
  QVERIFY(dialog.skipLabel()->isHidden());
  QFile list(QString::fromStdString(big.document.GetListFilePath()));
  QVERIFY(list.open(QIODevice::WriteOnly | QIODevice::Truncate));
  list.write(QByteArray::fromStdString("Name\tEmail\nNewcomer\tnew@example.com\n" +
                                       rows.substr(rows.find('\n') + 1)));
  list.close();
  dialog.nextButton()->click();
  QCOMPARE(dialog.entry(), 399);
  QVERIFY(dialog.skipLabel()->isVisibleTo(&dialog));
  QVERIFY2(dialog.skipLabel()->text().contains(QStringLiteral("has changed since the project")),
           qPrintable(dialog.skipLabel()->text()));
}

QTEST_MAIN(PreviewDlgTest)
#include "preview_dlg_test.moc"
