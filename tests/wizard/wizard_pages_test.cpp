#include <QAccessible>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>

#include <memory>

#include "qt_support/test_environment.h"
#include "views/dialog_units.h"
#include "wizard/wizard_email_field_page.h"
#include "wizard/wizard_finish_page.h"
#include "wizard/wizard_list_page.h"
#include "wizard/wizard_message_page.h"
#include "wizard/wizard_pages.h"
#include "wizard/wizard_test_support.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

std::string PathOf(const QString& path) { return QFile::encodeName(path).toStdString(); }

// Answers the message box a page shows and remembers its text.
ModalScript::Step AnswerMessageBox(QString& seen) {
  return [&seen](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    QVERIFY(box != nullptr);
    seen = box->text();
    Click(box->button(QMessageBox::Ok));
  };
}

}  // namespace

class WizardPagesTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { env = std::make_unique<DesktopTestEnvironment>(); }
  void cleanup() { env.reset(); }

  void EveryPageIsLaidOutInDialogUnitsWithNamedControls();
  void MessagePageHidesThePathAtEveryShowingAndHasNoBack();
  void MessagePageRefusesAnExistingLetterThatCannotBeOpened();
  void ListPageOffersOdbcDisabledAndRefusesAListThatCannotBeOpened();
  void BrowseOpensAnExistingListAndKeepsCommaDelimittedText();
  void EmailFieldPageShowsTheFieldsUnchosenAndWaitsForAChoice();
  void FinishPageDefaultsToNoAndReadsFinish();
  void HelpOpensTheWizardHelpPageOnlyWhenGivenAWay();
  void EscapeAndCancelEndThePageWithCancel();
  void APageWhoseWindowIsNotShownYetIsCentredOnTheScreen();

 private:
  std::unique_ptr<DesktopTestEnvironment> env;
};

void WizardPagesTest::EveryPageIsLaidOutInDialogUnitsWithNamedControls() {
  WizardMessagePage message;
  WizardListPage list;
  WizardEmailFieldPage email;
  email.fieldNames = {"Name", "Email"};
  WizardFinishPage finish;
  std::vector<std::unique_ptr<CWizardPageDialog>> pages;
  pages.push_back(std::make_unique<CWizardMessagePage>(message, nullptr));
  pages.push_back(std::make_unique<CWizardListPage>(list, nullptr));
  pages.push_back(std::make_unique<CWizardEmailFieldPage>(email, nullptr));
  pages.push_back(std::make_unique<CWizardFinishPage>(finish, nullptr));
  const int backColumns[] = {215, 215, 215, 214};
  const int cancelColumns[] = {176, 175, 176, 175};

  for (std::size_t i = 0; i < pages.size(); ++i) {
    CWizardPageDialog& page = *pages[i];
    const DialogUnits units(page.font());
    QCOMPARE(page.windowTitle(), QStringLiteral("Postrider Project Wizard"));
    QCOMPARE(page.size(), units.ToPixels(290, 150));
    QCOMPARE(page.helpButton()->geometry(), units.ToPixels(138, 132, 35, 14));
    QCOMPARE(page.cancelButton()->geometry(), units.ToPixels(cancelColumns[i], 132, 35, 14));
    QCOMPARE(page.backButton()->geometry(), units.ToPixels(backColumns[i], 132, 35, 14));
    QCOMPARE(page.nextButton()->geometry(), units.ToPixels(250, 132, 35, 14));
    QVERIFY(page.nextButton()->isDefault());
    QCOMPARE(page.cancelButton()->text(), QStringLiteral("Cancel"));
    QCOMPARE(page.backButton()->text(), QStringLiteral("< Back"));
    QCOMPARE(page.nextButton()->text(),
             i == 3 ? QStringLiteral("Finish") : QStringLiteral("Next >"));
    // The picture stays left of the controls, above the rule.
    QVERIFY(page.pictureRect().right() < units.ToPixelsX(130));
    QVERIFY(page.pictureRect().bottom() < units.ToPixelsY(127));
    for (QWidget* control : page.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      QVERIFY2(!control->accessibleName().isEmpty(), control->metaObject()->className());
    }
  }
  auto& messagePage = static_cast<CWizardMessagePage&>(*pages[0]);
  const DialogUnits units(messagePage.font());
  QCOMPARE(messagePage.pathEdit()->geometry(), units.ToPixels(130, 93, 107, 13));
  QCOMPARE(messagePage.browseButton()->geometry(), units.ToPixels(240, 92, 35, 14));
  QCOMPARE(messagePage.existingMessageButton()->geometry(), units.ToPixels(130, 79, 89, 10));
  auto& listPage = static_cast<CWizardListPage&>(*pages[1]);
  QCOMPARE(listPage.odbcButton()->geometry(), units.ToPixels(130, 77, 115, 10));
  QCOMPARE(static_cast<CWizardEmailFieldPage&>(*pages[2]).fieldList()->geometry(),
           units.ToPixels(142, 49, 124, 65));
  QCOMPARE(static_cast<CWizardFinishPage&>(*pages[3]).noButton()->geometry(),
           units.ToPixels(145, 86, 35, 10));

  // Texts as the pages give them.
  QStringList texts;
  for (QLabel* label : listPage.findChildren<QLabel*>()) texts << label->text();
  QCOMPARE(texts, QStringList{QStringLiteral(
                      "Select a database type and file that contains your mailing list.")});
}

void WizardPagesTest::MessagePageHidesThePathAtEveryShowingAndHasNoBack() {
  QtWizardPages pages(nullptr);
  WizardMessagePage answers;
  answers.messageChoice = WizardMessagePage::kExistingMessage;
  answers.messageFilePath = "/tmp/remembered.txt";

  ModalScript script({[](QWidget* modal) {
    auto* page = AsPage<CWizardMessagePage>(modal);
    QVERIFY(page != nullptr);
    QVERIFY(page->existingMessageButton()->isChecked());
    QVERIFY(page->pathEdit()->isHidden());
    QVERIFY(page->browseButton()->isHidden());
    QVERIFY(!page->backButton()->isEnabled());
    QVERIFY(!page->helpButton()->isEnabled());
    QCOMPARE(page->pathEdit()->text(), QStringLiteral("/tmp/remembered.txt"));

    Click(page->newMessageButton());
    QVERIFY(page->pathEdit()->isHidden());
    Click(page->existingMessageButton());
    QVERIFY(page->pathEdit()->isVisible());
    QVERIFY(page->browseButton()->isVisible());
    Click(page->newMessageButton());
    QVERIFY(page->pathEdit()->isHidden() && page->browseButton()->isHidden());
    // New Message makes no check, whatever the path says.
    Click(page->nextButton());
  }});
  QCOMPARE(pages.ShowMessagePage(answers), WizardPageResult::Next);
  QVERIFY(script.finished());
  QVERIFY(script.unexpected().isEmpty());
  QCOMPARE(answers.messageChoice, WizardMessagePage::kNewMessage);
  QCOMPARE(answers.messageFilePath, std::string("/tmp/remembered.txt"));
}

void WizardPagesTest::MessagePageRefusesAnExistingLetterThatCannotBeOpened() {
  QtWizardPages pages(nullptr);
  WizardMessagePage answers;
  const QString letter = env->Write(QStringLiteral("letter.txt"), "To: \nFrom:  \nSubject: x\n");
  QString seen;
  QPointer<CWizardMessagePage> shown;
  ModalScript script({
      [&](QWidget* modal) {
        shown = AsPage<CWizardMessagePage>(modal);
        QVERIFY(shown != nullptr);
        Click(shown->existingMessageButton());
        QTest::keyClicks(shown->pathEdit(), env->File(QStringLiteral("missing.txt")));
        Click(shown->nextButton());
      },
      AnswerMessageBox(seen),
      [&](QWidget* modal) {
        // Still the same page, ready for a better name.
        QCOMPARE(modal, static_cast<QWidget*>(shown.data()));
        shown->pathEdit()->setText(letter);
        Click(shown->nextButton());
      },
  });
  QCOMPARE(pages.ShowMessagePage(answers), WizardPageResult::Next);
  QVERIFY(script.finished());
  QVERIFY(script.unexpected().isEmpty());
  QCOMPARE(seen, QStringLiteral("Invalid message file name."));
  QCOMPARE(answers.messageChoice, WizardMessagePage::kExistingMessage);
  QCOMPARE(answers.messageFilePath, PathOf(letter));
}

void WizardPagesTest::ListPageOffersOdbcDisabledAndRefusesAListThatCannotBeOpened() {
  QtWizardPages pages(nullptr);
  WizardListPage answers;
  QString seen;
  ModalScript script({
      [&](QWidget* modal) {
        auto* page = AsPage<CWizardListPage>(modal);
        QVERIFY(page != nullptr);
        QVERIFY(page->tabButton()->isChecked());
        QVERIFY(page->odbcButton()->isVisible());
        QVERIFY(!page->odbcButton()->isEnabled());
        QVERIFY(page->backButton()->isEnabled());
        Click(page->odbcButton());
        QVERIFY(page->tabButton()->isChecked());
        Click(page->commaButton());
        // A folder is no list either.
        QTest::keyClicks(page->pathEdit(), env->path());
        Click(page->nextButton());
      },
      AnswerMessageBox(seen),
      [&](QWidget* modal) {
        auto* page = AsPage<CWizardListPage>(modal);
        QVERIFY(page != nullptr);
        Click(page->backButton());
      },
  });
  QCOMPARE(pages.ShowListPage(answers), WizardPageResult::Back);
  QVERIFY(script.finished());
  QVERIFY(script.unexpected().isEmpty());
  QCOMPARE(seen, QStringLiteral("Invalid database file name."));
  // Back takes the values along.
  QCOMPARE(answers.listSourceType, int(DBTypeComma));
  QCOMPARE(answers.listFilePath, PathOf(env->path()));
}

void WizardPagesTest::BrowseOpensAnExistingListAndKeepsCommaDelimittedText() {
  const QString list =
      env->Write(QStringLiteral("people.csv"), "Name,Email\nAda,ada@example.com\n");
  QtWizardPages pages(nullptr);
  WizardListPage answers;
  {
    ModalScript script({
        [&](QWidget* modal) {
          auto* page = AsPage<CWizardListPage>(modal);
          QVERIFY(page != nullptr);
          Click(page->commaButton());
          Click(page->browseButton());
          QVERIFY(page->commaButton()->isChecked());
          QCOMPARE(page->pathEdit()->text(), list);
          Click(page->nextButton());
        },
        [&](QWidget* modal) {
          // An Open dialog for a list that exists, .csv and .tsv as well,
          // starting at home.
          auto* dialog = qobject_cast<QFileDialog*>(modal);
          QVERIFY(dialog != nullptr);
          QCOMPARE(dialog->windowTitle(), QStringLiteral("Select Database File"));
          QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptOpen);
          QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
          QCOMPARE(dialog->nameFilters(),
                   (QStringList{QStringLiteral("Lists (*.txt *.csv *.tsv)"),
                                QStringLiteral("All files (*)")}));
          QCOMPARE(QDir(dialog->directory()).canonicalPath(), QDir::home().canonicalPath());
          ChooseFile(dialog, env->path(), QStringLiteral("people.csv"));
        },
    });
    QCOMPARE(pages.ShowListPage(answers), WizardPageResult::Next);
    QVERIFY(script.finished());
    QVERIFY(script.unexpected().isEmpty());
    QCOMPARE(answers.listSourceType, int(DBTypeComma));
    QCOMPARE(answers.listFilePath, PathOf(list));
  }

  // A letter that does not exist yet may be named, and gets the suffix.
  WizardMessagePage message;
  ModalScript messageScript({
      [&](QWidget* modal) {
        auto* page = AsPage<CWizardMessagePage>(modal);
        QVERIFY(page != nullptr);
        Click(page->existingMessageButton());
        Click(page->browseButton());
        QVERIFY(page->existingMessageButton()->isChecked());
        Click(page->newMessageButton());
        Click(page->nextButton());
      },
      [&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog != nullptr);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Select Message File"));
        QCOMPARE(dialog->nameFilters().front(), QStringLiteral("Message Files (*.txt)"));
        ChooseFile(dialog, env->path(), QStringLiteral("spring-letter"));
      },
  });
  QCOMPARE(pages.ShowMessagePage(message), WizardPageResult::Next);
  QVERIFY(messageScript.finished());
  QVERIFY(messageScript.unexpected().isEmpty());
  QCOMPARE(message.messageFilePath, PathOf(env->File(QStringLiteral("spring-letter.txt"))));
}

void WizardPagesTest::EmailFieldPageShowsTheFieldsUnchosenAndWaitsForAChoice() {
  QtWizardPages pages(nullptr);
  WizardEmailFieldPage answers;
  answers.fieldNames = {"Name", "Pr\xE9nom", "Email"};
  {
    ModalScript script({[&](QWidget* modal) {
      auto* page = AsPage<CWizardEmailFieldPage>(modal);
      QVERIFY(page != nullptr);
      QListWidget* list = page->fieldList();
      QCOMPARE(list->count(), 3);
      QCOMPARE(list->item(1)->text(), QStringLiteral("Prénom"));
      QVERIFY(list->selectedItems().isEmpty());

      // Nothing chosen: Next does nothing, and says nothing.
      Click(page->nextButton());
      QVERIFY(page->isVisible());
      ClickRow(list, 2);
      QTest::mouseDClick(list->viewport(), Qt::LeftButton, {},
                         list->visualItemRect(list->item(1)).center());
      QVERIFY(page->isVisible());
      ClickRow(list, 1);
      Click(page->nextButton());
    }});
    QCOMPARE(pages.ShowEmailFieldPage(answers), WizardPageResult::Next);
    QVERIFY(script.finished());
    QVERIFY(script.unexpected().isEmpty());
    QCOMPARE(answers.emailFieldIndex, 1);
    // The field's own bytes, not the text shown for them.
    QCOMPARE(answers.emailFieldName, std::string("Pr\xE9nom"));
  }

  // An empty list leaves only Back and Cancel.
  WizardEmailFieldPage empty;
  ModalScript emptyScript({[&](QWidget* modal) {
    auto* page = AsPage<CWizardEmailFieldPage>(modal);
    QVERIFY(page != nullptr);
    QCOMPARE(page->fieldList()->count(), 0);
    // It says why, in the list's place, and how to go on.
    QLabel* why = nullptr;
    for (QLabel* label : page->findChildren<QLabel*>()) {
      if (label->text().contains(QStringLiteral("names no fields"))) why = label;
    }
    QVERIFY(why != nullptr);
    QVERIFY(why->isVisible());
    QVERIFY(!page->fieldList()->isVisible());
    QVERIFY(why->text().contains(QStringLiteral("< Back")));
    QCOMPARE(why->accessibleName(), why->text());
    Click(page->nextButton());
    QVERIFY(page->isVisible());
    Click(page->backButton());
  }});
  QCOMPARE(pages.ShowEmailFieldPage(empty), WizardPageResult::Back);
  QVERIFY(emptyScript.unexpected().isEmpty());
}

void WizardPagesTest::FinishPageDefaultsToNoAndReadsFinish() {
  QtWizardPages pages(nullptr);
  WizardFinishPage answers;
  ModalScript script({
      [&](QWidget* modal) {
        auto* page = AsPage<CWizardFinishPage>(modal);
        QVERIFY(page != nullptr);
        QVERIFY(page->noButton()->isChecked());
        Click(page->yesButton());
        Click(page->backButton());
      },
      [&](QWidget* modal) {
        auto* page = AsPage<CWizardFinishPage>(modal);
        QVERIFY(page != nullptr);
        // Remembered from the last time the page was left.
        QVERIFY(page->yesButton()->isChecked());
        QTest::keyClick(page, Qt::Key_Return);
      },
  });
  QCOMPARE(pages.ShowFinishPage(answers), WizardPageResult::Back);
  QCOMPARE(answers.showHelpChoice, WizardFinishPage::kShowHelp);
  QCOMPARE(pages.ShowFinishPage(answers), WizardPageResult::Next);
  QVERIFY(script.finished());
  QVERIFY(script.unexpected().isEmpty());
}

void WizardPagesTest::HelpOpensTheWizardHelpPageOnlyWhenGivenAWay() {
  QStringList opened;
  QtWizardPages pages(nullptr, [&opened](const QString& page) { opened << page; });
  WizardFinishPage answers;
  ModalScript script({[&](QWidget* modal) {
    auto* page = AsPage<CWizardFinishPage>(modal);
    QVERIFY(page != nullptr);
    QVERIFY(page->helpButton()->isEnabled());
    Click(page->helpButton());
    QVERIFY(page->isVisible());
    Click(page->cancelButton());
  }});
  QCOMPARE(pages.ShowFinishPage(answers), WizardPageResult::Cancel);
  QVERIFY(script.finished());
  QCOMPARE(opened, QStringList{QStringLiteral("wizard.html")});
}

void WizardPagesTest::EscapeAndCancelEndThePageWithCancel() {
  QtWizardPages pages(nullptr);
  WizardMessagePage message;
  WizardListPage list;
  ModalScript script({
      [](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); },
      [](QWidget* modal) {
        auto* page = AsPage<CWizardListPage>(modal);
        QVERIFY(page != nullptr);
        Click(page->cancelButton());
      },
  });
  QCOMPARE(pages.ShowMessagePage(message), WizardPageResult::Cancel);
  QCOMPARE(pages.ShowListPage(list), WizardPageResult::Cancel);
  QVERIFY(script.finished());
}

void WizardPagesTest::APageWhoseWindowIsNotShownYetIsCentredOnTheScreen() {
  QWidget hiddenFrame;
  hiddenFrame.setGeometry(0, 0, 100, 100);
  QtWizardPages pages(&hiddenFrame);
  WizardFinishPage answers;
  QPoint centre;
  ModalScript script({[&](QWidget* modal) {
    centre = modal->frameGeometry().center();
    Click(AsPage<CWizardFinishPage>(modal)->cancelButton());
  }});
  QCOMPARE(pages.ShowFinishPage(answers), WizardPageResult::Cancel);
  QVERIFY(script.finished());
  const QPoint screenCentre = QGuiApplication::primaryScreen()->availableGeometry().center();
  QVERIFY2((centre - screenCentre).manhattanLength() < 8,
           qPrintable(QStringLiteral("%1,%2").arg(centre.x()).arg(centre.y())));
}

QTEST_MAIN(WizardPagesTest)
#include "wizard_pages_test.moc"
