#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>

#include "app/intro_window.h"
#include "app_test_support.h"
#include "views/message_view.h"
#include "wizard/wizard_list_page.h"
#include "wizard/wizard_message_page.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

bool IsMessageBox(QWidget* modal) { return qobject_cast<QMessageBox*>(modal) != nullptr; }

// The wizard's first page, whatever it is called, is not a message box.
ModalDriver::Action CancelWizard(bool& sawWizard) {
  return [&sawWizard](QWidget* modal) {
    sawWizard = !IsMessageBox(modal);
    ClickButton(QStringLiteral("Cancel"))(modal);
  };
}

}  // namespace

class StartUpTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void PictureIsCentredOnTopAndNothingElseHappensWhileItWaits();
  void LastProjectOpensInAMaximizedWindow();
  void ShortProjectNameGoesStraightToTheWizard();
  void ProjectThatFailsToOpenLeadsToTheWizard();
  void CancellingTheWizardAtStartUpEndsTheProgram();
  void CancellingTheWizardAfterFileNewKeepsTheWindowWithTheProjectCleared();

 private:
  std::unique_ptr<DesktopTestEnvironment> env_;
};

void StartUpTest::init() { env_ = std::make_unique<DesktopTestEnvironment>(); }

void StartUpTest::cleanup() { env_.reset(); }

void StartUpTest::PictureIsCentredOnTopAndNothingElseHappensWhileItWaits() {
  env_->CopyExampleProject();
  WriteCurrentProjectFile(Bytes(env_->File(QStringLiteral("example.prj"))));
  CPostridrApp app;
  QSignalSpy started(&app, &CPostridrApp::started);
  app.Start(600000);
  CIntroWnd* intro = app.introWindow();
  QVERIFY(intro != nullptr);
  QVERIFY(QTest::qWaitForWindowExposed(intro));
  QCOMPARE(intro->size(), QSize(448, 177));
  QVERIFY(intro->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  QVERIFY(intro->windowFlags().testFlag(Qt::FramelessWindowHint));
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  QVERIFY(std::abs(intro->geometry().center().x() - screen.center().x()) <= 1);
  QVERIFY(std::abs(intro->geometry().center().y() - screen.center().y()) <= 1);
  QVERIFY(!intro->accessibleName().isEmpty());

  // The picture's wait keeps the event loop running, and nothing is opened yet.
  QTest::qWait(50);
  QVERIFY(app.mainFrame() == nullptr);
  QCOMPARE(started.count(), 0);
  QVERIFY(QApplication::activeModalWidget() == nullptr);
}

void StartUpTest::LastProjectOpensInAMaximizedWindow() {
  env_->CopyExampleProject();
  const std::string project = Bytes(env_->File(QStringLiteral("example.prj")));
  WriteCurrentProjectFile(project);
  CPostridrApp app;
  QVERIFY(StartAndWait(app));
  QVERIFY(app.introWindow() == nullptr);
  CMainFrame* frame = app.mainFrame();
  QVERIFY(frame->isVisible());
  QVERIFY(frame->isMaximized());
  QCOMPARE(app.document().GetPathName(), project);
  QCOMPARE(app.document().GetEntryCount(), 12);
  QCOMPARE(app.recentFiles().entries(), std::vector<std::string>{project});
  app.document().SetModifiedFlag(false);
}

void StartUpTest::ShortProjectNameGoesStraightToTheWizard() {
  // Three characters are too few to name a project; nothing is tried, so no
  // "Error loading project" comes first, even with such a file in the folder.
  QDir::setCurrent(env_->path());
  env_->Write(QStringLiteral("a.p"), "[Settings]\n");
  WriteCurrentProjectFile("a.p");
  CPostridrApp app;
  QSignalSpy quit(&app, &CPostridrApp::quitRequested);
  bool sawWizard = false;
  ModalScript script({CancelWizard(sawWizard)});
  app.Start(0);
  QVERIFY(quit.wait(10000) || quit.count() == 1);
  QCOMPARE(script.acted(), 1);
  QVERIFY(sawWizard);
}

void StartUpTest::ProjectThatFailsToOpenLeadsToTheWizard() {
  const QString broken = env_->Write(QStringLiteral("broken.prj"),
                                     "[Settings]\nMessageFile=ab\nHelperFile=broken.prh\n");
  WriteCurrentProjectFile(Bytes(broken));
  CPostridrApp app;
  QSignalSpy quit(&app, &CPostridrApp::quitRequested);
  QString error;
  bool sawWizard = false;
  ModalScript script({[&error](QWidget* modal) {
                        if (auto* box = qobject_cast<QMessageBox*>(modal)) error = box->text();
                        ClickButton(QStringLiteral("OK"))(modal);
                      },
                      CancelWizard(sawWizard)});
  app.Start(0);
  QVERIFY(quit.wait(10000) || quit.count() == 1);
  QCOMPARE(script.acted(), 2);
  QVERIFY2(error.startsWith(QStringLiteral("Error loading project")), qPrintable(error));
  QVERIFY(sawWizard);
}

void StartUpTest::CancellingTheWizardAtStartUpEndsTheProgram() {
  CPostridrApp app;  // no settings at all: a first run
  QSignalSpy quit(&app, &CPostridrApp::quitRequested);
  QSignalSpy started(&app, &CPostridrApp::started);
  bool sawWizard = false;
  ModalScript script({CancelWizard(sawWizard)});
  app.Start(0);
  QVERIFY(quit.wait(10000) || quit.count() == 1);
  QVERIFY(sawWizard);
  QCOMPARE(started.count(), 0);
  QVERIFY(app.mainFrame() == nullptr || !app.mainFrame()->isVisible());
  QVERIFY(app.introWindow() == nullptr);
}

void StartUpTest::CancellingTheWizardAfterFileNewKeepsTheWindowWithTheProjectCleared() {
  env_->CopyExampleProject();
  WriteCurrentProjectFile(Bytes(env_->File(QStringLiteral("example.prj"))));
  CPostridrApp app;
  QVERIFY(StartAndWait(app));
  // A change to ask about.
  QTest::keyClicks(app.mainFrame()->messageView()->subjectEdit(), QStringLiteral(" (revised)"));
  QSignalSpy quit(&app, &CPostridrApp::quitRequested);
  QString question;
  bool sawWizard = false;
  ModalScript script({[&question](QWidget* modal) {
                        if (auto* box = qobject_cast<QMessageBox*>(modal)) question = box->text();
                        ClickButton(QStringLiteral("No"))(modal);
                      },
                      CancelWizard(sawWizard)});
  app.mainFrame()->RouteCommand(57600);
  QCOMPARE(script.acted(), 2);
  QCOMPARE(question, QStringLiteral("Save changes to example.prj?"));
  QVERIFY(sawWizard);
  QVERIFY(app.mainFrame()->isVisible());
  QCOMPARE(quit.count(), 0);
  QCOMPARE(app.document().GetEntryCount(), 0);
  QCOMPARE(app.document().GetFieldCount(), 0);
  QVERIFY(app.mainFrame()->insertFieldMenu()->actions().isEmpty());
  QCOMPARE(app.mainFrame()->statusPane(1)->text(), QStringLiteral("0 Selected"));
  QCOMPARE(app.mainFrame()->windowTitle(), QStringLiteral("Postrider[*] - Postrider"));

  // Cancelled on the third page, after a letter and a list were chosen: the
  // window keeps nothing of them, and a save cannot write over that letter.
  const QString letter = env_->File(QStringLiteral("letter.txt"));
  const QByteArray letterBytes = ReadBytes(letter);
  ModalScript late({[&letter](QWidget* modal) {
                      auto* page = qobject_cast<CWizardMessagePage*>(modal);
                      QVERIFY(page != nullptr);
                      page->existingMessageButton()->click();
                      page->pathEdit()->setText(letter);
                      page->nextButton()->click();
                    },
                    [this](QWidget* modal) {
                      auto* page = qobject_cast<CWizardListPage*>(modal);
                      QVERIFY(page != nullptr);
                      page->pathEdit()->setText(env_->File(QStringLiteral("recipients.txt")));
                      page->nextButton()->click();
                    },
                    ClickButton(QStringLiteral("Cancel"))});
  app.mainFrame()->RouteCommand(57600);
  QCOMPARE(late.acted(), 3);
  QCOMPARE(late.titles().last(), QStringLiteral("Postrider Project Wizard"));
  QCOMPARE(app.document().GetFieldCount(), 0);
  QVERIFY(app.document().GetMessageFilePath().empty());
  QVERIFY(app.document().GetListFilePath().empty());
  QVERIFY(app.mainFrame()->insertFieldMenu()->actions().isEmpty());
  QCOMPARE(app.mainFrame()->messageView()->toCombo()->count(), 0);
  QVERIFY(app.document().OnSaveDocument(Bytes(env_->File(QStringLiteral("after.prj")))).ok());
  QCOMPARE(ReadBytes(letter), letterBytes);
  app.document().SetModifiedFlag(false);
}

QTEST_MAIN(StartUpTest)
#include "start_up_test.moc"
