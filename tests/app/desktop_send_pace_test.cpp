#include <QAbstractButton>
#include <QAbstractItemView>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTimer>
#include <QToolBar>

#include <map>
#include <regex>

#include "app/command_ids.h"
#include "app/desktop_send_run.h"
#include "app_test_support.h"
#include "dialogs/dialogs_test_support.h"
#include "project/postridr_doc.h"
#include "support/smtp_sink_server.h"
#include "views/frame_pacer.h"
#include "views/project_view.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

constexpr int kEntries = 1500;

// Answers every box a run shows, as a user who goes on where the last run
// stopped: No to starting again from the beginning, Yes to any other
// question, OK to the rest. It never leaves a box open.
class RunAnswers : public QObject {
 public:
  RunAnswers() {
    timer_.setInterval(10);
    connect(&timer_, &QTimer::timeout, this, [this] { Answer(); });
    timer_.start();
  }
  QStringList texts;
  int progressAtEnd = -1;

 private:
  void Answer() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    texts << box->text();
    QAbstractButton* answer = box->button(QMessageBox::Ok);
    if (box->button(QMessageBox::Yes) != nullptr) {
      answer = box->text().contains(QStringLiteral("from the beginning"))
                   ? box->button(QMessageBox::No)
                   : box->button(QMessageBox::Yes);
    }
    if (answer == nullptr) {
      box->reject();
      return;
    }
    answer->click();
  }
  QTimer timer_;
};

// Each recipient the sink took, with how often.
std::map<std::string, int> Recipients(const SmtpSinkServer& sink) {
  std::map<std::string, int> seen;
  const std::string dump = sink.Dump();
  const std::regex rcpt("X-Rcpt-Args: <([^>]*)>");
  for (auto it = std::sregex_iterator(dump.begin(), dump.end(), rcpt); it != std::sregex_iterator();
       ++it) {
    ++seen[(*it)[1].str()];
  }
  return seen;
}

int CountStatus(const CPostridrDoc& document, int status) {
  int count = 0;
  for (int i = 0; i < document.GetEntryCount(); ++i) count += document.GetEntryStatus(i) == status;
  return count;
}

// "Sending 523 of 1500" gives 523; anything else -1.
int SendingNumber(const QString& pane) {
  const QStringList words = pane.split(QLatin1Char(' '));
  if (words.size() != 4 || words[0] != QStringLiteral("Sending")) return -1;
  return words[1].toInt();
}

}  // namespace

// A run as fast as a loopback server answers: the window keeps up with it at
// its own pace, answers Pause at once and shows where the run ended.
class DesktopSendPaceTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    CutOffTheSessionBus();
  }
  void APausedFastRunShowsWhereItIsAndResumingMailsEveryoneOnce();
};

void DesktopSendPaceTest::APausedFastRunShowsWhereItIsAndResumingMailsEveryoneOnce() {
  DesktopTestEnvironment env;
  QByteArray list = "Name\tEmail\n";
  for (int i = 0; i < kEntries; ++i) {
    list += "Member " + QByteArray::number(i) + "\tmember" + QByteArray::number(i) +
            "@example.com\n";
  }
  env.Write(QStringLiteral("members.txt"), list);
  env.Write(QStringLiteral("letter.txt"), "To: \nFrom:  \nSubject: News\nDear [[Name]],\nhello.\n");
  env.Write(QStringLiteral("members.prh"), QByteArray(kEntries, '\x80') +
                                               QByteArray(32000 - kEntries, '\0'));
  const QString project = env.Write(
      QStringLiteral("members.prj"),
      "[Settings]\nMessageFile=letter.txt\nDBFile=members.txt\nDBFileType=0\n"
      "EmailFieldString=Email\nEmailFieldIndex=1\nHelperFile=members.prh\nLastIndexSent=0\n");
  SmtpSinkServer sink;
  WriteCurrentProjectFile(Bytes(project));
  WritePrivateProfileString("Settings", "ReturnAddress", "news@example.com", SettingsFilePath());
  WritePrivateProfileString("Settings", "SMTPServer", sink.address(), SettingsFilePath());

  CPostridrApp app;
  QVERIFY(StartAndWait(app));
  CMainFrame* frame = app.mainFrame();
  QVERIFY(QTest::qWaitForWindowExposed(frame));
  CPostridrDoc& document = app.document();

  // Pause once a fifth of the list is sent; what the pane says then.
  int sentAtPause = -1;
  QString paneAtPause;
  QTimer pauser;
  pauser.setInterval(5);
  connect(&pauser, &QTimer::timeout, [&] {
    if (!frame->sendRun().IsSending() || CountStatus(document, StatusSent) < kEntries / 5) return;
    pauser.stop();
    sentAtPause = CountStatus(document, StatusSent);
    QTest::mouseClick(frame->toolBar()->widgetForAction(frame->action(commands::kPause)),
                      Qt::LeftButton);
    paneAtPause = frame->statusPane(1)->text();
  });
  pauser.start();
  {
    RunAnswers answers;
    frame->RouteCommand(commands::kSend);
    QVERIFY(!frame->sendRun().IsSending());
  }
  QVERIFY2(sentAtPause >= kEntries / 5, "the run ended before the Pause");
  // At the Pause the pane was up to date, not a frame behind: it named the
  // entry being sent, or said the run waits for the server's answer.
  const int shownAtPause = SendingNumber(paneAtPause);
  QVERIFY2(paneAtPause.startsWith(QStringLiteral("Pausing")) ||
               (shownAtPause >= sentAtPause && shownAtPause <= sentAtPause + 2),
           qPrintable(QStringLiteral("%1 sent, pane: %2").arg(sentAtPause).arg(paneAtPause)));

  // Where it stopped is what the window shows.
  const int stop = document.GetLastIndexSent();
  QVERIFY(stop > 0 && stop < kEntries);
  const int sent = CountStatus(document, StatusSent);
  QCOMPARE(sent, stop);
  // The list shows the last entry the run marked: the one it halted at, or,
  // when that one's commands had gone ahead unanswered, the one before.
  const int current = frame->projectView()->entryList()->currentIndex().row();
  QVERIFY2(current == stop || current == stop - 1, qPrintable(QString::number(current)));
  std::map<std::string, int> received = Recipients(sink);
  QCOMPARE(static_cast<int>(received.size()), sent);
  // Far fewer showings than messages: the window kept to its own pace.
  QVERIFY2(frame->runDisplayPacer().shown() < sent / 2,
           qPrintable(QString::number(frame->runDisplayPacer().shown())));

  // Send again, go on where it stopped: everyone mailed exactly once.
  {
    RunAnswers answers;
    frame->RouteCommand(commands::kSend);
    QVERIFY(answers.texts.size() >= 2);
  }
  QCOMPARE(CountStatus(document, StatusSent), kEntries);
  received = Recipients(sink);
  QCOMPARE(static_cast<int>(received.size()), kEntries);
  for (const auto& [address, times] : received) QVERIFY2(times == 1, address.c_str());
  QCOMPARE(frame->statusPane(1)->text(), QStringLiteral("Complete"));
  QCOMPARE(frame->projectView()->entryList()->currentIndex().row(), kEntries - 1);
  QCOMPARE(document.GetLastIndexSent(), 0);
  document.SetModifiedFlag(false);
}

QTEST_MAIN(DesktopSendPaceTest)
#include "desktop_send_pace_test.moc"
