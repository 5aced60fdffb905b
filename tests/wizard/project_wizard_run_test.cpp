#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <memory>

#include "project/postridr_doc.h"
#include "qt_support/test_environment.h"
#include "views/message_view.h"
#include "wizard/wizard_email_field_page.h"
#include "wizard/wizard_finish_page.h"
#include "wizard/wizard_list_page.h"
#include "wizard/wizard_message_page.h"
#include "wizard/wizard_pages.h"
#include "wizard/wizard_test_support.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

QStringList Items(QListWidget* list) {
  QStringList items;
  for (int row = 0; row < list->count(); ++row) items << list->item(row)->text();
  return items;
}

}  // namespace

// The pages driven as a user would, through the document's own New.
class ProjectWizardRunTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void AWholeRunWithBackStepsGivesALoadedFullySelectedModifiedProject();
  void CancelOnALaterPageLeavesTheDocumentCleared();
  void ABrowsedLetterHandedBackWithNewMessageIsReadAndYesShowsHelp();

 private:
  std::unique_ptr<DesktopTestEnvironment> env;
  std::unique_ptr<CPostridrDoc> document;
  RecordingFrame frame;
  std::unique_ptr<CMessageView> view;
  QString letter;
  QString tabList;
  QString commaList;
};

void ProjectWizardRunTest::init() {
  env = std::make_unique<DesktopTestEnvironment>();
  frame = {};
  document = std::make_unique<CPostridrDoc>();
  document->SetMainFrame(&frame);
  view = std::make_unique<CMessageView>(*document);
  letter = env->Write(QStringLiteral("letter.txt"),
                      "To: \nFrom:  \nSubject: Spring readings\nDear [[First]],\n");
  tabList = env->Write(QStringLiteral("members.txt"),
                       "First\tEmail\tCity\nAda\tada@example.com\tLondon\n"
                       "Alan\talan@example.org\tManchester\nGrace\tgrace@example.com\tArlington\n");
  commaList = env->Write(QStringLiteral("guests.txt"), "Guest,Address\nEdsger,e@example.org\n");
}

void ProjectWizardRunTest::cleanup() {
  view.reset();
  document.reset();
  env.reset();
}

void ProjectWizardRunTest::AWholeRunWithBackStepsGivesALoadedFullySelectedModifiedProject() {
  QtWizardPages pages(nullptr);
  ModalScript script({
      [&](QWidget* modal) {
        auto* page = AsPage<CWizardMessagePage>(modal);
        QVERIFY(page != nullptr);
        Click(page->existingMessageButton());
        QTest::keyClicks(page->pathEdit(), letter);
        Click(page->nextButton());
      },
      [&](QWidget* modal) {
        auto* page = AsPage<CWizardListPage>(modal);
        QVERIFY(page != nullptr);
        Click(page->commaButton());
        QTest::keyClicks(page->pathEdit(), commaList);
        Click(page->nextButton());
      },
      [&](QWidget* modal) {
        auto* page = AsPage<CWizardEmailFieldPage>(modal);
        QVERIFY(page != nullptr);
        QCOMPARE(Items(page->fieldList()),
                 (QStringList{QStringLiteral("Guest"), QStringLiteral("Address")}));
        ClickRow(page->fieldList(), 1);
        Click(page->backButton());
      },
      [&](QWidget* modal) {
        // What was left here comes back; another list is chosen.
        auto* page = AsPage<CWizardListPage>(modal);
        QVERIFY(page != nullptr);
        QVERIFY(page->commaButton()->isChecked());
        QCOMPARE(page->pathEdit()->text(), commaList);
        Click(page->tabButton());
        page->pathEdit()->setText(tabList);
        Click(page->nextButton());
      },
      [&](QWidget* modal) {
        // The header is read anew, and nothing is chosen.
        auto* page = AsPage<CWizardEmailFieldPage>(modal);
        QVERIFY(page != nullptr);
        QCOMPARE(Items(page->fieldList()),
                 (QStringList{QStringLiteral("First"), QStringLiteral("Email"),
                              QStringLiteral("City")}));
        QVERIFY(page->fieldList()->selectedItems().isEmpty());
        ClickRow(page->fieldList(), 1);
        Click(page->nextButton());
      },
      [&](QWidget* modal) {
        auto* page = AsPage<CWizardFinishPage>(modal);
        QVERIFY(page != nullptr);
        Click(page->backButton());
      },
      [&](QWidget* modal) {
        auto* page = AsPage<CWizardEmailFieldPage>(modal);
        QVERIFY(page != nullptr);
        QVERIFY(page->fieldList()->selectedItems().isEmpty());
        Click(page->nextButton());  // refused: nothing chosen
        QVERIFY(page->isVisible());
        ClickRow(page->fieldList(), 1);
        Click(page->nextButton());
      },
      [&](QWidget* modal) {
        auto* page = AsPage<CWizardFinishPage>(modal);
        QVERIFY(page != nullptr);
        QVERIFY(page->noButton()->isChecked());
        Click(page->nextButton());
      },
  });
  QVERIFY(document->OnNewDocument(pages));
  QVERIFY(script.finished());
  QVERIFY2(script.unexpected().isEmpty(), qPrintable(script.unexpected().join(u'\n')));

  QCOMPARE(document->GetEntryCount(), 3);
  QCOMPARE(document->GetSelectedCount(), 3);
  for (int entry = 0; entry < 3; ++entry) QVERIFY(document->IsEntrySelected(entry));
  QVERIFY(document->IsModified());
  QVERIFY(document->GetPathName().empty());
  QCOMPARE(document->GetListSourceType(), int(DBTypeTab));
  QCOMPARE(document->GetEmailFieldIndex(), 1);
  QCOMPARE(document->GetEmailFieldName(), std::string("Email"));
  QCOMPARE(frame.attached, std::vector<CPostridrDoc*>{document.get()});
  QCOMPARE(frame.paths, std::vector<std::string>{""});
  QCOMPARE(frame.helpShown, 0);

  // The message pane shows the new project.
  QCOMPARE(view->subjectEdit()->text(), QStringLiteral("Spring readings"));
  QCOMPARE(view->MessageText(), QStringLiteral("Dear [[First]],\n"));
  QCOMPARE(view->toCombo()->count(), 3);
  QCOMPARE(view->toCombo()->currentIndex(), 1);
}

void ProjectWizardRunTest::CancelOnALaterPageLeavesTheDocumentCleared() {
  // A project first, so there is something to clear.
  {
    QtWizardPages pages(nullptr);
    ModalScript script({
        [&](QWidget* modal) {
          auto* page = AsPage<CWizardMessagePage>(modal);
          QVERIFY(page != nullptr);
          Click(page->existingMessageButton());
          page->pathEdit()->setText(letter);
          Click(page->nextButton());
        },
        [&](QWidget* modal) {
          auto* page = AsPage<CWizardListPage>(modal);
          QVERIFY(page != nullptr);
          page->pathEdit()->setText(tabList);
          Click(page->nextButton());
        },
        [&](QWidget* modal) {
          auto* page = AsPage<CWizardEmailFieldPage>(modal);
          QVERIFY(page != nullptr);
          ClickRow(page->fieldList(), 1);
          Click(page->nextButton());
        },
        [&](QWidget* modal) { Click(AsPage<CWizardFinishPage>(modal)->nextButton()); },
    });
    QVERIFY(document->OnNewDocument(pages));
    QVERIFY(script.finished());
  }
  QCOMPARE(document->GetEntryCount(), 3);

  QtWizardPages pages(nullptr);
  ModalScript script({
      [&](QWidget* modal) { Click(AsPage<CWizardMessagePage>(modal)->nextButton()); },
      [&](QWidget* modal) {
        auto* page = AsPage<CWizardListPage>(modal);
        QVERIFY(page != nullptr);
        page->pathEdit()->setText(tabList);
        Click(page->nextButton());
      },
      [&](QWidget* modal) { Click(AsPage<CWizardEmailFieldPage>(modal)->cancelButton()); },
  });
  QVERIFY(!document->OnNewDocument(pages));
  QVERIFY(script.finished());
  QVERIFY(script.unexpected().isEmpty());
  QCOMPARE(document->GetEntryCount(), 0);
  QVERIFY(!document->IsModified());
  QCOMPARE(view->toCombo()->count(), 0);
  QCOMPARE(view->subjectEdit()->text(), QString());
  QCOMPARE(view->MessageText(), QString());
  // The frame heard of the first project only.
  QCOMPARE(frame.attached.size(), std::size_t(1));
}

void ProjectWizardRunTest::ABrowsedLetterHandedBackWithNewMessageIsReadAndYesShowsHelp() {
  QtWizardPages pages(nullptr);
  ModalScript script({
      [&](QWidget* modal) {
        auto* page = AsPage<CWizardMessagePage>(modal);
        QVERIFY(page != nullptr);
        Click(page->existingMessageButton());
        Click(page->browseButton());
        Click(page->newMessageButton());
        Click(page->nextButton());
      },
      [&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog != nullptr);
        ChooseFile(dialog, env->path(), QStringLiteral("letter.txt"));
      },
      [&](QWidget* modal) {
        auto* page = AsPage<CWizardListPage>(modal);
        QVERIFY(page != nullptr);
        page->pathEdit()->setText(commaList);
        Click(page->commaButton());
        Click(page->nextButton());
      },
      [&](QWidget* modal) {
        auto* page = AsPage<CWizardEmailFieldPage>(modal);
        QVERIFY(page != nullptr);
        ClickRow(page->fieldList(), 1);
        Click(page->nextButton());
      },
      [&](QWidget* modal) {
        auto* page = AsPage<CWizardFinishPage>(modal);
        QVERIFY(page != nullptr);
        Click(page->yesButton());
        Click(page->nextButton());
      },
  });
  QVERIFY(document->OnNewDocument(pages));
  QVERIFY(script.finished());
  QVERIFY(script.unexpected().isEmpty());
  QCOMPARE(document->GetSubject(), std::string("Spring readings"));
  QCOMPARE(document->GetListSourceType(), int(DBTypeComma));
  QCOMPARE(document->GetEntryCount(), 1);
  QCOMPARE(view->toCombo()->currentText(), QStringLiteral("Address"));
  QCOMPARE(frame.helpShown, 1);
}

QTEST_MAIN(ProjectWizardRunTest)
#include "project_wizard_run_test.moc"
