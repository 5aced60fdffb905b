// One project, one writer, between the desktop program and postrider-cli:
// real processes on real files, a real server counting what it received.

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>

#include <signal.h>
#include <unistd.h>

#include <memory>

#include "app/command_ids.h"
#include "app_test_support.h"
#include "dialogs/dialogs_test_support.h"
#include "project/postridr_doc.h"
#include "support/cli_runner.h"
#include "support/entry_lists.h"
#include "support/scripted_smtp_server.h"
#include "views/format_bar.h"
#include "views/message_view.h"
#include "views/project_view.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

// Keeps the text of the box it closes with OK.
ModalDriver::Action ReadBoxAndOk(QString& text) {
  return [&text](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) text = box->text();
    ClickButton(QStringLiteral("OK"))(modal);
  };
}

}  // namespace

class ReadOnlyProjectTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    CutOffTheSessionBus();
  }
  void init() {
    env_ = std::make_unique<DesktopTestEnvironment>();
    env_->CopyExampleProject();
    WriteCurrentProjectFile(Project());
  }
  void cleanup() { env_.reset(); }

  void AProjectTheCliSendsOpensReadOnlyAndNothingOfItCanBeSavedOrChanged();
  void WhileTheWindowHasTheProjectOpenTheCliMayOnlyLook();
  void ASecondWindowOnTheProjectMayOnlyLookWhateverIsAnswered();

 private:
  std::string Project() const { return Bytes(env_->File(QStringLiteral("example.prj"))); }
  std::string CliSettings(const ScriptedSmtpServer& server) const {
    return Bytes(env_->Write(QStringLiteral("cli-settings.ini"),
                             QByteArray("[Settings]\nRealName=Harbour Library\nReturnAddress="
                                        "library@example.com\nSMTPServer=") +
                                 QByteArray::fromStdString(server.address()) + "\nLog=0\n"));
  }
  CliRun Cli(const std::vector<std::string>& args) const {
    return RunPostriderCli(args, Bytes(env_->path()));
  }
  QByteArray ProjectFiles() const {
    return ReadBytes(env_->File(QStringLiteral("example.prj"))) +
           ReadBytes(env_->File(QStringLiteral("example.prh")));
  }

  std::unique_ptr<DesktopTestEnvironment> env_;
};

void ReadOnlyProjectTest::AProjectTheCliSendsOpensReadOnlyAndNothingOfItCanBeSavedOrChanged() {
  // Each message's answer comes late, so the run is still going while the window looks.
  ScriptedSmtpServer server({.delays = {{".", 1.0}}});
  const std::string settings = CliSettings(server);
  bool looked = false;
  CliOptions options;
  options.whileRunning = [&](pid_t cli) {
    server.WaitForMessages(1);
    {
      CPostridrApp app;
      QString notice;
      ModalScript opening({ReadBoxAndOk(notice)});
      QVERIFY(StartAndWait(app));
      CMainFrame* frame = app.mainFrame();
      QVERIFY(app.document().IsReadOnly());
      QVERIFY2(notice.contains(QStringLiteral("is in use: postrider-cli (process %1) has it open "
                                              "for writing.\nIt is opened read-only")
                                   .arg(cli)),
               qPrintable(notice));
      QVERIFY(frame->windowTitle().startsWith(QStringLiteral("example.prj (read-only)")));
      QVERIFY(frame->statusPane(0)->text().startsWith(QStringLiteral("Read-only.")));
      for (int id : {commands::kSend, commands::kFileSave, commands::kFileSaveAs,
                     commands::kSelectAll, commands::kUnselectAll, commands::kSelectOnQuery,
                     commands::kClearStatus, commands::kLetterOptions}) {
        QVERIFY2(!frame->action(id)->isEnabled(), qPrintable(frame->action(id)->text()));
      }
      QVERIFY(frame->action(commands::kPreview)->isEnabled());
      QVERIFY(frame->messageView()->messageEdit()->isReadOnly());
      QVERIFY(!frame->messageView()->toCombo()->isEnabled());
      QVERIFY(!frame->messageView()->formatBar()->isEnabled());

      // A click on a row and every route to Save change nothing on disk.
      const QByteArray before = ProjectFiles();
      const int selected = app.document().GetSelectedCount();
      QAbstractItemView* list = frame->projectView()->entryList();
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                        list->visualRect(list->model()->index(3, 0)).center());
      QCOMPARE(app.document().GetSelectedCount(), selected);
      QString refusal;
      ModalScript saving({ReadBoxAndOk(refusal)});
      QVERIFY(frame->RouteCommand(commands::kFileSave));
      QVERIFY2(refusal.contains(QStringLiteral("open read-only")), qPrintable(refusal));
      QCOMPARE(ProjectFiles(), before);
      // Closing asks nothing: nothing of it could be saved.
      QVERIFY(frame->close());
      looked = true;
    }
    kill(cli, SIGTERM);  // a pause: the command saves what its run did
  };
  const CliRun run = RunPostriderCli({"send", Project(), "--settings", settings},
                                     Bytes(env_->path()), options);
  QVERIFY(looked);
  QVERIFY2(run.exitCode == 1 || run.exitCode == 0, run.err.c_str());

  // What the command's run did is what the project keeps; nobody got two.
  CPostridrDoc saved;
  QVERIFY(saved.OnOpenDocument(Project()));
  int marked = 0;
  for (int status : Statuses(saved)) marked += status == StatusSent ? 1 : 0;
  QCOMPARE(marked, server.MessageCount());
  QStringList recipients;
  for (const std::string& line : server.Commands()) {
    if (line.rfind("RCPT TO:", 0) == 0) recipients << QString::fromStdString(line);
  }
  QCOMPARE(recipients.removeDuplicates(), 0);
}

void ReadOnlyProjectTest::WhileTheWindowHasTheProjectOpenTheCliMayOnlyLook() {
  ScriptedSmtpServer server;
  const std::string settings = CliSettings(server);
  const QByteArray before = ProjectFiles();
  {
    CPostridrApp app;
    QVERIFY(StartAndWait(app));
    QVERIFY(!app.document().IsReadOnly());

    const std::string holder = std::string(program_invocation_short_name) + " (process " +
                               std::to_string(getpid()) + ") has it open for writing.";
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"send", Project(), "--settings", settings, "--from-start"},
          std::vector<std::string>{"select", Project(), "none"}}) {
      const CliRun refused = Cli(args);
      QCOMPARE(refused.exitCode, 1);
      QVERIFY2(refused.err.find("is in use: " + holder) != std::string::npos, refused.err.c_str());
    }
    QVERIFY(server.Commands().empty());
    QCOMPARE(ProjectFiles(), before);
    const CliRun looked = Cli({"info", Project()});
    QCOMPARE(looked.exitCode, 0);
    app.document().SetModifiedFlag(false);
  }
  // The window closed, the project is free.
  QCOMPARE(Cli({"select", Project(), "none"}).exitCode, 0);
}

void ReadOnlyProjectTest::ASecondWindowOnTheProjectMayOnlyLookWhateverIsAnswered() {
  ScriptedSmtpServer server;
  env_->WriteSendingSettings(server.address(), false);
  const QByteArray before = ProjectFiles();
  CPostridrApp first;
  QVERIFY(StartAndWait(first));
  QVERIFY(!first.document().IsReadOnly());

  CPostridrApp second;
  QString notice;
  {
    ModalScript opening({ReadBoxAndOk(notice)});
    QVERIFY(StartAndWait(second));
  }
  QVERIFY(second.document().IsReadOnly());
  QVERIFY2(notice.contains(QStringLiteral("has it open for writing")), qPrintable(notice));

  // Yes, or OK, to whatever the second window asks: it still sends nothing.
  QStringList asked;
  auto yes = [&asked](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    asked << (box != nullptr ? box->text() : modal->windowTitle());
    QAbstractButton* button = FindButton(modal, QStringLiteral("Yes"));
    if (button == nullptr) button = FindButton(modal, QStringLiteral("OK"));
    if (button != nullptr) button->click(); else modal->close();
  };
  {
    ModalScript answers({yes, yes, yes});
    CMainFrame* frame = second.mainFrame();
    frame->RouteCommand(commands::kSend);
    frame->RouteCommand(commands::kClearStatus);
    frame->RouteCommand(commands::kFileSave);
    QVERIFY(frame->close());
  }
  QVERIFY2(server.Commands().empty(), qPrintable(asked.join(QLatin1Char('|'))));
  QCOMPARE(ProjectFiles(), before);
  // The first window keeps its project, and closes without a question too.
  QVERIFY(!first.document().IsReadOnly());
  QVERIFY(first.mainFrame()->close());
  QCOMPARE(ProjectFiles(), before);
}

QTEST_MAIN(ReadOnlyProjectTest)
#include "read_only_project_test.moc"
