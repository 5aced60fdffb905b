// The project given on the command line, as a file manager gives it.

#include <QDir>
#include <QMessageBox>
#include <QScreen>

#include "app_test_support.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

// How far a box's middle is from the screen's: the window it stands for is
// not up yet, and the box must not land in a corner of the screen.
int OffCentre(const QWidget* box) {
  const QRect screen = box->screen()->availableGeometry();
  return (box->frameGeometry().center() - screen.center()).manhattanLength();
}

// Answers an error box with OK and keeps its text; anything else is cancelled.
ModalDriver::Action NoteAndClose(QStringList& seen) {
  return [&seen](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      seen << box->text();
      // A few pixels for frames and rounding.
      if (OffCentre(box) > 8) seen << QStringLiteral("off centre by %1").arg(OffCentre(box));
      ClickButton(QStringLiteral("OK"))(modal);
    } else {
      seen << QStringLiteral("wizard");
      ClickButton(QStringLiteral("Cancel"))(modal);
    }
  };
}

}  // namespace

class StartUpProjectArgumentTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void GivenProjectOpensInsteadOfTheLastOne();
  void GivenProjectThatFailsIsReportedThenTheLastOneOpens();
  void GivenProjectThatFailsAndIsTheLastOneIsReportedOnceBeforeTheWizard();

 private:
  std::unique_ptr<DesktopTestEnvironment> env_;
};

void StartUpProjectArgumentTest::init() { env_ = std::make_unique<DesktopTestEnvironment>(); }

void StartUpProjectArgumentTest::cleanup() { env_.reset(); }

void StartUpProjectArgumentTest::GivenProjectOpensInsteadOfTheLastOne() {
  env_->CopyExampleProject();
  WriteCurrentProjectFile(Bytes(env_->File(QStringLiteral("example.prj"))));
  // A relative name, as typed in a terminal, is taken from the current folder.
  QDir::setCurrent(env_->path());
  CPostridrApp app;
  QSignalSpy started(&app, &CPostridrApp::started);
  app.Start(0, "example-comma.prj");
  QVERIFY(started.wait(10000) || started.count() == 1);
  const std::string given = Bytes(env_->File(QStringLiteral("example-comma.prj")));
  QCOMPARE(app.document().GetPathName(), given);
  QCOMPARE(app.document().GetEntryCount(), 12);
  QVERIFY(app.mainFrame()->isVisible());
  QCOMPARE(app.recentFiles().entries().front(), given);
  QVERIFY(QApplication::activeModalWidget() == nullptr);
  app.document().SetModifiedFlag(false);
}

void StartUpProjectArgumentTest::GivenProjectThatFailsIsReportedThenTheLastOneOpens() {
  env_->CopyExampleProject();
  const std::string last = Bytes(env_->File(QStringLiteral("example.prj")));
  WriteCurrentProjectFile(last);
  CPostridrApp app;
  QSignalSpy started(&app, &CPostridrApp::started);
  QStringList seen;
  ModalScript script({NoteAndClose(seen)});
  app.Start(0, Bytes(env_->File(QStringLiteral("missing.prj"))));
  QVERIFY(started.wait(10000) || started.count() == 1);
  QCOMPARE(script.acted(), 1);
  QVERIFY2(seen.value(0).startsWith(QStringLiteral("Error loading project")),
           qPrintable(seen.join(QLatin1Char('|'))));
  QVERIFY2(seen.size() == 1, qPrintable(seen.join(QLatin1Char('|'))));
  QCOMPARE(app.document().GetPathName(), last);
  app.document().SetModifiedFlag(false);
}

void StartUpProjectArgumentTest::GivenProjectThatFailsAndIsTheLastOneIsReportedOnceBeforeTheWizard() {
  const QString broken = env_->Write(QStringLiteral("broken.prj"),
                                     "[Settings]\nMessageFile=ab\nHelperFile=broken.prh\n");
  WriteCurrentProjectFile(Bytes(broken));
  CPostridrApp app;
  QSignalSpy quit(&app, &CPostridrApp::quitRequested);
  QStringList seen;
  ModalScript script({NoteAndClose(seen), NoteAndClose(seen)});
  app.Start(0, Bytes(broken));
  QVERIFY(quit.wait(10000) || quit.count() == 1);
  QCOMPARE(seen.size(), 2);
  QVERIFY2(seen.at(0).startsWith(QStringLiteral("Error loading project")), qPrintable(seen.at(0)));
  QCOMPARE(seen.at(1), QStringLiteral("wizard"));
}

QTEST_MAIN(StartUpProjectArgumentTest)
#include "start_up_project_argument_test.moc"
