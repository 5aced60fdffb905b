#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <memory>

#include "dialogs/letter_options_dlg.h"
#include "project/postridr_doc.h"
#include "qt_support/test_environment.h"
#include "support/recording_views.h"
#include "views/display_text.h"
#include "wizard/wizard_test_support.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

TestProject OptionsProject() {
  return TestProject("Name\tEmail\tCopies\tBoss\nAnn\tann@example.com\tbo@example.org\t\n");
}

void SetText(QLineEdit* edit, const QString& text) {
  edit->selectAll();
  QTest::keyClicks(edit, text);
  if (text.isEmpty()) edit->clear();
}

}  // namespace

class LetterOptionsDlgTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    env = std::make_unique<DesktopTestEnvironment>();
    recorded = std::make_unique<RecordedDocument>();
    QVERIFY(recorded->Open(PathBytes(env->path()), OptionsProject()));
    recorded->document.SetModifiedFlag(false);
  }
  void cleanup() {
    recorded.reset();
    env.reset();
  }

  void OpensOnTheProjectsOptionsWithEveryControlNamed();
  void OkGivesTheDocumentTheOptionsAndMarksItModified();
  void OkWithOptionsThatCannotWorkSaysWhyAndStaysOpen();
  void CancelAndAnUnchangedOkChangeNothing();

 private:
  std::unique_ptr<DesktopTestEnvironment> env;
  std::unique_ptr<RecordedDocument> recorded;
};

void LetterOptionsDlgTest::OpensOnTheProjectsOptionsWithEveryControlNamed() {
  CLetterOptionsDlg fresh(recorded->document);
  QCOMPARE(fresh.options(), LetterOptions{});
  QCOMPARE(fresh.ccFieldCombo()->currentText(), QStringLiteral("(none)"));
  QCOMPARE(fresh.ccFieldCombo()->count(), 5);

  const LetterOptions set{.format = MessageFormat::Markdown,
                          .mergeSubject = true,
                          .ccField = "Copies",
                          .bccField = "Gone",  // a field the list no longer has
                          .bcc = "me@example.org",
                          .replyTo = "office@example.org",
                          .unsubscribeMailto = "off@example.org",
                          .unsubscribeUrl = "https://example.org/u?n=[[Name]]"};
  recorded->document.SetLetterOptions(set);
  CLetterOptionsDlg dialog(recorded->document);
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  QCOMPARE(dialog.windowTitle(), QStringLiteral("Letter Options"));
  QCOMPARE(dialog.options(), set);
  QCOMPARE(dialog.ccFieldCombo()->currentText(), QStringLiteral("Copies"));
  QVERIFY(dialog.bccFieldCombo()->currentText().contains(QStringLiteral("not in the list")));
  QVERIFY(dialog.mergeSubjectBox()->isChecked());
  QVERIFY(dialog.problemLabel()->isHidden());
  for (QWidget* child : dialog.findChildren<QWidget*>()) {
    if (child->isWindow() || !child->isVisible() ||
        qobject_cast<QComboBox*>(child->parentWidget()) || qobject_cast<QLabel*>(child) ||
        qobject_cast<QLineEdit*>(child->parentWidget()) || qobject_cast<QDialogButtonBox*>(child)) {
      continue;
    }
    QVERIFY2(!child->accessibleName().isEmpty(), child->metaObject()->className());
  }
}

void LetterOptionsDlgTest::OkGivesTheDocumentTheOptionsAndMarksItModified() {
  ModalScript answer({[](QWidget* modal) {
    auto* dialog = AsPage<CLetterOptionsDlg>(modal);
    dialog->formatCombo()->setCurrentIndex(1);
    dialog->mergeSubjectBox()->setFocus();
    QTest::keyClick(dialog->mergeSubjectBox(), Qt::Key_Space);
    dialog->ccFieldCombo()->setCurrentIndex(3);
    dialog->bccFieldCombo()->setCurrentIndex(4);
    SetText(dialog->bccEdit(), QStringLiteral("  me@example.org "));
    SetText(dialog->replyToEdit(), QStringLiteral("office@example.org"));
    SetText(dialog->unsubscribeMailtoEdit(), QStringLiteral("off+[[Name]]@example.org"));
    SetText(dialog->unsubscribeUrlEdit(), QStringLiteral("https://example.org/u?n=[[Name]]"));
    Click(dialog->okButton());
  }});
  QVERIFY(RunLetterOptions(recorded->document, nullptr));
  QVERIFY(answer.finished());
  const LetterOptions expected{.format = MessageFormat::Markdown,
                               .mergeSubject = true,
                               .ccField = "Copies",
                               .bccField = "Boss",
                               .bcc = "me@example.org",
                               .replyTo = "office@example.org",
                               .unsubscribeMailto = "off+[[Name]]@example.org",
                               .unsubscribeUrl = "https://example.org/u?n=[[Name]]"};
  QCOMPARE(recorded->document.GetLetterOptions(), expected);
  QVERIFY(recorded->document.IsModified());
}

void LetterOptionsDlgTest::OkWithOptionsThatCannotWorkSaysWhyAndStaysOpen() {
  QString firstProblem;
  ModalScript answer({[&firstProblem](QWidget* modal) {
    auto* dialog = AsPage<CLetterOptionsDlg>(modal);
    SetText(dialog->unsubscribeUrlEdit(), QStringLiteral("http://example.org/u"));
    Click(dialog->okButton());
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->problemLabel()->isVisible());
    firstProblem = dialog->problemLabel()->text();
    QCOMPARE(dialog->focusWidget(), dialog->unsubscribeUrlEdit());
    // A screen reader reads why OK did nothing, not just that there is a problem.
    QCOMPARE(QAccessible::queryAccessibleInterface(dialog->problemLabel())
                 ->text(QAccessible::Name),
             firstProblem);
    SetText(dialog->unsubscribeUrlEdit(), QStringLiteral("https://example.org/u"));
    SetText(dialog->bccEdit(), QStringLiteral("me@"));
    // Enter in another field: refused, and the keyboard goes to the value to mend.
    QTest::keyClick(dialog->unsubscribeUrlEdit(), Qt::Key_Return);
    QVERIFY(dialog->isVisible());
    QVERIFY(dialog->problemLabel()->text().contains(QStringLiteral("Bcc address")));
    QCOMPARE(dialog->focusWidget(), dialog->bccEdit());
    QCOMPARE(dialog->bccEdit()->selectedText(), QStringLiteral("me@"));
    SetText(dialog->bccEdit(), QString());
    Click(dialog->okButton());
  }});
  QVERIFY(RunLetterOptions(recorded->document, nullptr));
  QVERIFY(answer.finished());
  QVERIFY2(firstProblem.contains(QStringLiteral("not an https address")), qPrintable(firstProblem));
  QCOMPARE(recorded->document.GetLetterOptions().unsubscribeUrl,
           std::string("https://example.org/u"));
  QCOMPARE(recorded->document.GetLetterOptions().bcc, std::string());
}

void LetterOptionsDlgTest::CancelAndAnUnchangedOkChangeNothing() {
  {
    ModalScript cancelled({[](QWidget* modal) {
      auto* dialog = AsPage<CLetterOptionsDlg>(modal);
      dialog->formatCombo()->setCurrentIndex(1);
      Click(dialog->cancelButton());
    }});
    QVERIFY(!RunLetterOptions(recorded->document, nullptr));
    QVERIFY(cancelled.finished());
  }
  {
    ModalScript unchanged({[](QWidget* modal) { Click(AsPage<CLetterOptionsDlg>(modal)->okButton()); }});
    QVERIFY(!RunLetterOptions(recorded->document, nullptr));
    QVERIFY(unchanged.finished());
  }
  QCOMPARE(recorded->document.GetLetterOptions(), LetterOptions{});
  QVERIFY(!recorded->document.IsModified());
}

QTEST_MAIN(LetterOptionsDlgTest)
#include "letter_options_dlg_test.moc"
