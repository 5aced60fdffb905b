#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <memory>

#include "dialogs/attachment_problems_dlg.h"
#include "project/postridr_doc.h"
#include "qt_support/test_environment.h"
#include "send/attachment_run_check.h"
#include "support/recording_views.h"
#include "views/display_text.h"
#include "wizard/wizard_test_support.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

std::vector<int> Selected(const CPostridrDoc& document) {
  std::vector<int> selected;
  for (int i = 0; i < document.GetEntryCount(); ++i) {
    if (document.IsEntrySelected(i) != 0) selected.push_back(i);
  }
  return selected;
}

QStringList Row(QTableWidget* table, int row) {
  QStringList cells;
  for (int column = 0; column < table->columnCount(); ++column) cells << table->item(row, column)->text();
  return cells;
}

}  // namespace

class AttachmentProblemsDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    env = std::make_unique<DesktopTestEnvironment>();
    const std::string folder = PathBytes(env->path());
    const std::string invoice = folder + "/INV-1.pdf";
    FILE* file = fopen(invoice.c_str(), "wb");
    QVERIFY(file != nullptr);
    fputs("%PDF-1.4 one", file);
    fclose(file);
    // Entry 1's value would lead out of the folder; entry 3's names no file;
    // entry 2's address holds a terminal's escape.
    TestProject project(
        "Name\tEmail\tInvoice\n"
        "Ann\tann@example.com\tINV-1\n"
        "Bob\tbob@example.com\t../../etc/passwd\n"
        "Cy\tcy@example.com\x1b[2J\tINV-2\n"
        "Di\tdi@example.com\tINV-3\n",
        std::string(32000, '\0'), DBTypeTab);
    project.letterText = "To: \nFrom: \nSubject: Invoice\n[[Attachment:  " + folder +
                         "/[[Invoice]].pdf]]\nDear [[Name]],\n";
    recorded = std::make_unique<RecordedDocument>();
    QVERIFY(recorded->Open(folder, project));
    recorded->document.SelectAll();
    problems = CheckRunAttachments(recorded->document, {0, 1, 2, 3}, settings, std::nullopt).problems;
  }
  void cleanup() {
    recorded.reset();
    env.reset();
  }

  void ListsEachProblemAndEnterCancels();
  void UnselectAndSendUnselectsOnlyTheEntriesNamed();
  void AProblemOfTheLetterLeavesOnlyCancel();
  void ThousandsOfEntriesAreCountedAndTheFirstListed();

 private:
  std::unique_ptr<DesktopTestEnvironment> env;
  std::unique_ptr<RecordedDocument> recorded;
  UserSettings settings;
  std::vector<AttachmentProblem> problems;
};

void AttachmentProblemsDlgTest::ListsEachProblemAndEnterCancels() {
  QCOMPARE(problems.size(), std::size_t{3});
  CAttachmentProblemsDlg dialog(problems);
  QTableWidget* table = dialog.table();
  QCOMPARE(table->rowCount(), 3);
  QCOMPARE(Row(table, 0).mid(0, 2), (QStringList{QStringLiteral("2"), QStringLiteral("bob@example.com")}));
  QVERIFY(Row(table, 0)[3].startsWith(QStringLiteral("unsafe: ")));
  QCOMPARE(Row(table, 2)[0], QStringLiteral("4"));
  QVERIFY(Row(table, 2)[2].endsWith(QStringLiteral("/INV-3.pdf")));
  QCOMPARE(Row(table, 2)[3], QStringLiteral("the file does not exist"));
  // A list value's control characters never reach the screen.
  QCOMPARE(Row(table, 1)[1], QStringLiteral("cy@example.com?[2J"));
  QVERIFY(dialog.summary()->text().contains(QStringLiteral("3 entries")));
  for (QWidget* control : dialog.findChildren<QWidget*>()) {
    if (qobject_cast<QPushButton*>(control) || qobject_cast<QTableWidget*>(control)) {
      QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
    }
  }

  // Enter is Cancel: nothing is unselected, nothing goes.
  QtAttachmentProblemsPrompt prompt(nullptr);
  ModalScript enter({[](QWidget* modal) {
    auto* shown = AsPage<CAttachmentProblemsDlg>(modal);
    QVERIFY(shown->cancelButton()->isDefault());
    QTest::keyClick(shown, Qt::Key_Return);
  }});
  QVERIFY(!prompt.UnselectAndGoOn(problems));
  QVERIFY(enter.finished());
  QCOMPARE(Selected(recorded->document), std::vector<int>({0, 1, 2, 3}));
}

void AttachmentProblemsDlgTest::UnselectAndSendUnselectsOnlyTheEntriesNamed() {
  QtAttachmentProblemsPrompt prompt(nullptr);
  ModalScript unselect({[](QWidget* modal) {
    auto* shown = AsPage<CAttachmentProblemsDlg>(modal);
    QVERIFY(shown->unselectButton()->isEnabled());
    Click(shown->unselectButton());
  }});
  QVERIFY(prompt.UnselectAndGoOn(problems));
  QVERIFY(unselect.finished());
  QCOMPARE(UnselectEntriesWithProblems(recorded->document, problems), 3);
  QCOMPARE(Selected(recorded->document), std::vector<int>({0}));
  // Asked again (a second run), the entries stay unselected.
  QCOMPARE(UnselectEntriesWithProblems(recorded->document, problems), 0);
  QCOMPARE(Selected(recorded->document), std::vector<int>({0}));
}

void AttachmentProblemsDlgTest::AProblemOfTheLetterLeavesOnlyCancel() {
  std::vector<AttachmentProblem> letter = problems;
  letter.push_back({AttachmentProblem::kEveryEntry, "", "/srv/programme.pdf", "the file does not exist"});
  CAttachmentProblemsDlg dialog(letter);
  QVERIFY(!dialog.unselectButton()->isEnabled());
  QCOMPARE(Row(dialog.table(), 3)[0], QStringLiteral("All"));
  QVERIFY(dialog.summary()->text().contains(QStringLiteral("any message")));
  QCOMPARE(UnselectEntriesWithProblems(recorded->document, {letter.back()}), 0);
}


void AttachmentProblemsDlgTest::ThousandsOfEntriesAreCountedAndTheFirstListed() {
  // A folder named wrong in the letter: no entry's file is there.
  std::vector<AttachmentProblem> many;
  for (int i = 0; i < 5000; ++i) {
    many.push_back({i, "person" + std::to_string(i) + "@example.com",
                    "/home/ann/Invoices/2026/INV-" + std::to_string(i) + ".pdf",
                    "the file does not exist"});
  }
  many.push_back({AttachmentProblem::kEveryEntry, "", "/srv/<b>programme</b>.pdf",
                  "the file does not exist"});
  CAttachmentProblemsDlg dialog(many);
  QTableWidget* table = dialog.table();
  QCOMPARE(table->rowCount(), CAttachmentProblemsDlg::kListedRows + 1);
  QCOMPARE(Row(table, CAttachmentProblemsDlg::kListedRows - 1)[0],
           QString::number(CAttachmentProblemsDlg::kListedRows));
  // The letter's own problem is there, wherever it stood, and its tip shows
  // the path as it is.
  const int last = table->rowCount() - 1;
  QCOMPARE(Row(table, last)[0], QStringLiteral("All"));
  QVERIFY(!table->item(last, 2)->toolTip().contains(QStringLiteral("<b>")));
  QVERIFY(dialog.summary()->text().contains(QStringLiteral("5001 files")));
  QVERIFY(!dialog.unselectButton()->isEnabled());

  many.pop_back();
  CAttachmentProblemsDlg entries(many);
  QCOMPARE(entries.table()->rowCount(), CAttachmentProblemsDlg::kListedRows);
  QVERIFY2(entries.summary()->text().contains(QStringLiteral("5000 entries")),
           qPrintable(entries.summary()->text()));
  QVERIFY(entries.unselectButton()->isEnabled());
}

QTEST_MAIN(AttachmentProblemsDlgTest)
#include "attachment_problems_dlg_test.moc"
