#include <QAbstractItemModelTester>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <memory>

#include "dialogs/list_query_dlg.h"
#include "project/postridr_doc.h"
#include "qt_support/test_environment.h"
#include "support/recording_views.h"
#include "views/display_text.h"
#include "views/dialog_units.h"
#include "wizard/wizard_test_support.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

// Five entries; entries 0 and 3 are selected, entry 1 has a send status.
TestProject QueryProject() {
  std::string marks(32000, '\0');
  marks[0] = '\x80';
  marks[1] = '\x01';
  marks[3] = '\x80';
  return TestProject(
      "Name\tEmail\tCity\n"
      "Ann\tann@example.com\tOslo\n"
      "Bob\tbob@example\tBergen\n"
      "Cleo\tcleo@example.org\toslo\n"
      "Dan\tdan example.com\tOslo\n"
      "Eve\t\n",
      marks);
}

std::vector<int> Selected(const CPostridrDoc& document) {
  std::vector<int> selected;
  for (int i = 0; i < document.GetEntryCount(); ++i) {
    if (document.IsEntrySelected(i) != 0) selected.push_back(i);
  }
  return selected;
}

}  // namespace

class ListQueryDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    env = std::make_unique<DesktopTestEnvironment>();
    recorded = std::make_unique<RecordedDocument>();
    QVERIFY(recorded->Open(PathBytes(env->path()), QueryProject()));
    recorded->document.SetModifiedFlag(false);
  }
  void cleanup() {
    recorded.reset();
    env.reset();
  }

  void OpensWithNothingChosenAndTheSevenOperators();
  void OkHandsTheSevenAnswersToTheDocument();
  void OrAndASecondFieldWithoutAJoinAreHonouredAsTheyShouldBe();
  void CancelAndOkWithoutAFieldChangeNothing();
  void EnterBeforeAValueIsTypedAsksBeforeUnselecting();

 private:
  std::unique_ptr<DesktopTestEnvironment> env;
  std::unique_ptr<RecordedDocument> recorded;
};

void ListQueryDlgTest::OpensWithNothingChosenAndTheSevenOperators() {
  CListQueryDlg dialog(recorded->document);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  QCOMPARE(dialog.windowTitle(), QStringLiteral("List Query"));
  const DialogUnits units(dialog.font());
  QCOMPARE(dialog.size(), units.ToPixels(283, 84));
  QCOMPARE(dialog.okButton()->geometry(), units.ToPixels(94, 65, 40, 14));
  QCOMPARE(dialog.cancelButton()->geometry(), units.ToPixels(147, 65, 40, 14));
  QCOMPARE(dialog.firstValueEdit()->geometry(), units.ToPixels(188, 9, 90, 12));

  for (QComboBox* fields : {dialog.firstFieldCombo(), dialog.secondFieldCombo()}) {
    QCOMPARE(fields->count(), 3);
    QCOMPARE(fields->itemText(0), QStringLiteral("Name"));
    QCOMPARE(fields->itemText(2), QStringLiteral("City"));
    QCOMPARE(fields->currentIndex(), -1);
    QAbstractItemModelTester tester(fields->model());
  }
  const QStringList operators = {"equals",    "does not equal",     "greater than",
                                 "greater than or equal", "less than", "less than or equal",
                                 "valid email address"};
  for (QComboBox* combo : {dialog.firstOperatorCombo(), dialog.secondOperatorCombo()}) {
    QStringList shown;
    for (int i = 0; i < combo->count(); ++i) shown << combo->itemText(i);
    QCOMPARE(shown, operators);
    QCOMPARE(combo->currentText(), QStringLiteral("equals"));
  }
  QVERIFY(!dialog.andButton()->isChecked());
  QVERIFY(!dialog.orButton()->isChecked());
  QCOMPARE(dialog.join(), -1);
  QCOMPARE(dialog.firstValueEdit()->text(), QString());
  QCOMPARE(dialog.secondValueEdit()->text(), QString());
  for (QWidget* child : dialog.findChildren<QWidget*>()) {
    if (child->isWindow() || !child->isVisible() || qobject_cast<QComboBox*>(child->parentWidget())) {
      continue;
    }
    QVERIFY2(!child->accessibleName().isEmpty(), child->metaObject()->className());
  }
  // Choosing one join clears the other.
  Click(dialog.andButton());
  Click(dialog.orButton());
  QVERIFY(!dialog.andButton()->isChecked());
  QCOMPARE(dialog.join(), 1);
}

void ListQueryDlgTest::OkHandsTheSevenAnswersToTheDocument() {
  {
    ModalScript answer({[](QWidget* modal) {
      auto* dialog = AsPage<CListQueryDlg>(modal);
      dialog->firstFieldCombo()->setCurrentIndex(2);
      QTest::keyClicks(dialog->firstValueEdit(), QStringLiteral("Oslo"));
      Click(dialog->andButton());
      dialog->secondFieldCombo()->setCurrentIndex(1);
      dialog->secondOperatorCombo()->setCurrentIndex(6);  // valid email address
      QTest::keyClicks(dialog->secondValueEdit(), QStringLiteral("ignored"));
      Click(dialog->okButton());
    }});
    RunListQuery(recorded->document, nullptr);
    QVERIFY(answer.finished());
  }

  // City equals "Oslo" (not "oslo") and a valid address: Ann only; Dan's has a blank.
  QCOMPARE(Selected(recorded->document), std::vector<int>({0}));
  QCOMPARE(recorded->document.GetSelectedCount(), 1);
  QVERIFY(recorded->document.IsModified());
  QCOMPARE(recorded->document.GetEntryStatus(1), 1);  // statuses stay
  QCOMPARE(recorded->frame.selectedCounts.back(), 1L);
}

void ListQueryDlgTest::OrAndASecondFieldWithoutAJoinAreHonouredAsTheyShouldBe() {
  // Or: Name equals "Eve", or City greater than "Oslo" ("oslo" sorts after it).
  {
    ModalScript either({[](QWidget* modal) {
      auto* dialog = AsPage<CListQueryDlg>(modal);
      dialog->firstFieldCombo()->setCurrentIndex(0);
      QTest::keyClicks(dialog->firstValueEdit(), QStringLiteral("Eve"));
      Click(dialog->orButton());
      dialog->secondFieldCombo()->setCurrentIndex(2);
      dialog->secondOperatorCombo()->setCurrentIndex(2);
      QTest::keyClicks(dialog->secondValueEdit(), QStringLiteral("Oslo"));
      Click(dialog->okButton());
    }});
    RunListQuery(recorded->document, nullptr);
    QVERIFY(either.finished());
  }
  QCOMPARE(Selected(recorded->document), std::vector<int>({2, 4}));

  // A second field but neither And nor Or: OK asks, Enter goes back to the
  // dialog with nothing selected, and Yes selects on the first condition alone.
  {
    QString question;
    ModalScript firstOnly({[this](QWidget* modal) {
                             auto* dialog = AsPage<CListQueryDlg>(modal);
                             dialog->firstFieldCombo()->setCurrentIndex(2);
                             dialog->firstOperatorCombo()->setCurrentIndex(1);  // does not equal
                             QTest::keyClicks(dialog->firstValueEdit(), QStringLiteral("Oslo"));
                             dialog->secondFieldCombo()->setCurrentIndex(0);
                             QTest::keyClicks(dialog->secondValueEdit(), QStringLiteral("Bob"));
                             Click(dialog->okButton());
                             QVERIFY(dialog->isVisible());
                             QCOMPARE(Selected(recorded->document), std::vector<int>({2, 4}));
                             Click(dialog->okButton());
                           },
                           [&question](QWidget* box) {
                             if (auto* message = qobject_cast<QMessageBox*>(box)) question = message->text();
                             QTest::keyClick(box, Qt::Key_Return);
                           },
                           [](QWidget* box) {
                             auto* message = qobject_cast<QMessageBox*>(box);
                             QVERIFY(message != nullptr);
                             Click(message->button(QMessageBox::Yes));
                           }});
    RunListQuery(recorded->document, nullptr);
    QVERIFY(firstOnly.finished());
    QVERIFY2(question.contains(QStringLiteral("neither And nor Or")), qPrintable(question));
  }
  QCOMPARE(Selected(recorded->document), std::vector<int>({1, 2, 4}));
}

void ListQueryDlgTest::CancelAndOkWithoutAFieldChangeNothing() {
  {
    ModalScript cancelled({[](QWidget* modal) {
      auto* dialog = AsPage<CListQueryDlg>(modal);
      dialog->firstFieldCombo()->setCurrentIndex(0);
      QTest::keyClicks(dialog->firstValueEdit(), QStringLiteral("Bob"));
      Click(dialog->cancelButton());
    }});
    RunListQuery(recorded->document, nullptr);
    QVERIFY(cancelled.finished());
  }
  QCOMPARE(Selected(recorded->document), std::vector<int>({0, 3}));
  QVERIFY(!recorded->document.IsModified());

  {
    ModalScript noField({[](QWidget* modal) {
      auto* dialog = AsPage<CListQueryDlg>(modal);
      QTest::keyClicks(dialog->firstValueEdit(), QStringLiteral("Bob"));
      Click(dialog->okButton());
    }});
    RunListQuery(recorded->document, nullptr);
    QVERIFY(noField.finished());
  }
  QCOMPARE(Selected(recorded->document), std::vector<int>({0, 3}));
  QVERIFY(!recorded->document.IsModified());
}

void ListQueryDlgTest::EnterBeforeAValueIsTypedAsksBeforeUnselecting() {
  QStringList questions;
  const auto answer = [&questions](QMessageBox::StandardButton button) {
    return [&questions, button](QWidget* modal) {
      auto* box = AsPage<QMessageBox>(modal);
      QVERIFY(box != nullptr);
      questions << box->text();
      if (button == QMessageBox::No) {
        QTest::keyClick(box, Qt::Key_Return);  // the safe answer is the default
      } else {
        Click(box->button(button));
      }
    };
  };
  ModalScript script({[this](QWidget* modal) {
                        auto* dialog = AsPage<CListQueryDlg>(modal);
                        QVERIFY(dialog != nullptr);
                        dialog->firstFieldCombo()->setCurrentIndex(1);  // Email
                        QTest::keyClick(dialog->firstValueEdit(), Qt::Key_Return);
                        QVERIFY(dialog->isVisible());
                        QCOMPARE(dialog->focusWidget(), dialog->firstValueEdit());
                        QCOMPARE(Selected(recorded->document), std::vector<int>({0, 3}));
                        // The second condition is asked about when it takes part.
                        QTest::keyClicks(dialog->firstValueEdit(), QStringLiteral("x"));
                        Click(dialog->orButton());
                        dialog->secondFieldCombo()->setCurrentIndex(2);
                        QTest::keyClick(dialog->secondValueEdit(), Qt::Key_Return);
                        QVERIFY(dialog->isVisible());
                        QCOMPARE(dialog->focusWidget(), dialog->secondValueEdit());
                        QTest::keyClick(dialog->secondOperatorCombo(), Qt::Key_End);  // valid address
                        dialog->firstValueEdit()->clear();
                        QTest::keyClick(dialog->firstValueEdit(), Qt::Key_Return);
                      },
                      answer(QMessageBox::No), answer(QMessageBox::No), answer(QMessageBox::Yes)});
  RunListQuery(recorded->document, nullptr);
  QVERIFY(script.finished());
  QCOMPARE(questions.size(), 3);
  QVERIFY2(questions[0].contains(QStringLiteral("first value is empty")) &&
               questions[0].contains(QStringLiteral("Email equals")),
           qPrintable(questions[0]));
  QVERIFY2(questions[1].contains(QStringLiteral("second value is empty")), qPrintable(questions[1]));
  // Email empty (Eve), or City a valid address (none).
  QCOMPARE(Selected(recorded->document), std::vector<int>({4}));
}

QTEST_MAIN(ListQueryDlgTest)
#include "list_query_dlg_test.moc"
