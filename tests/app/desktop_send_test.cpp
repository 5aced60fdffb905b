#include <QAbstractItemModelTester>
#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QDirIterator>
#include <QFile>
#include <QLineEdit>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QToolBar>


#include <functional>
#include <memory>
#include <set>

#include "app/command_ids.h"
#include "app/desktop_send_run.h"
#include "app_test_support.h"
#include "dialogs/configure_dlg.h"
#include "dialogs/dialogs_test_support.h"
#include "dialogs/preview_dlg.h"
#include "platform/user_paths.h"
#include "project/postridr_doc.h"
#include "send/send_texts.h"
#include "support/python_mail_parser.h"
#include "dialogs/password_dlg.h"
#include "support/scripted_smtp_server.h"
#include "support/secret_service_session.h"
#include "support/test_certificates.h"
#include "views/message_view.h"
#include "views/project_view.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

// Runs `step` every few milliseconds while the event loop runs, which during
// a send is inside the socket layer's wait, until it says it is done.
class WhileWaiting {
 public:
  explicit WhileWaiting(std::function<bool()> step) : step_(std::move(step)) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (step_()) timer_.stop();
    });
    timer_.start();
  }
  bool done() const { return !timer_.isActive(); }

 private:
  std::function<bool()> step_;
  QTimer timer_;
};

bool SawCommand(const ScriptedSmtpServer& server, const std::string& line) {
  for (const std::string& command : server.Commands()) {
    if (command == line) return true;
  }
  return false;
}

// How often each recipient's address stands on a To: line of the messages the server kept.
std::multiset<std::string> Delivered(const ScriptedSmtpServer& server) {
  std::multiset<std::string> recipients;
  for (int n = 1; n <= server.MessageCount(); ++n) {
    const std::string message = server.Message(n);
    const std::size_t to = message.find("To: ");
    recipients.insert(message.substr(to + 4, message.find("\r\n", to) - to - 4));
  }
  return recipients;
}

// A server that wants STARTTLS and library's log-in, and the settings that reach it.
ServerScript LogInServerAndSettings(TestCertificates& certificates, const std::string& password) {
  const CertificateFiles good = certificates.Good();
  ServerScript script;
  script.tlsCertificate = good.certificate;
  script.tlsKey = good.key;
  script.requireStartTls = true;
  script.authUser = "library";
  script.authPassword = password;
  script.authRequired = true;
  EnsureParentFolder(SettingsFilePath());
  WritePrivateProfileString("Settings", "Security", "starttls", SettingsFilePath());
  WritePrivateProfileString("Settings", "UserName", "library", SettingsFilePath());
  WritePrivateProfileString("Settings", "TLSTrustFile", certificates.caFile(), SettingsFilePath());
  return script;
}

// What the final box said, and its details.
struct FinalBox {
  QString text;
  QString details;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  int progress = -1;
  int progressMaximum = -1;
};

}  // namespace

class DesktopSendTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    CutOffTheSessionBus();
  }
  void init() {
    env_ = ExampleProjectEnvironment();
  }
  void cleanup() {
    if (app_ && frame() != nullptr) app_->document().SetModifiedFlag(false);
    app_.reset();
    env_.reset();
    askBeforeSending_ = false;
    // A test with a keyring of its own leaves no session bus behind.
    CutOffTheSessionBus();
  }

  void TwoSelectedEntriesReachTheServerAndTheWindowFollows();
  void SendAsksFirstAndEnterOnTheQuestionSendsNothing();
  void PauseAtRcptStopsThereAndResumingWithNoMailsEveryoneOnce();
  void PauseWhileTheServerHoldsTheMessageWaitsForItsAnswer();
  void KeysAloneSelectSendPauseWithEscAndResumeMailingEveryoneOnce();
  void DuringARunOnlyPauseWorksButClicksAndTypingGoThrough();
  void PreviewShowsTheMessageTheServerReceives();
  void ALogInPasswordIsAskedForAtSendOnceAndNeverWritten();
  void APasswordTheServerRefusedIsAskedForAgainAndNotSentAgain();
  void ACancelledPasswordEndsTheSendWithOneBoxSayingWhy();
  void AStoredPasswordTheServerRefusedIsNotTriedAgainAfterARestart();
  void ALogThatCannotBeWrittenIsShownOnceAndTheRunGoesOn();
  void AListRewrittenByAnotherProgramSinceOpeningIsNotSentTo();
  void FieldsTheListLacksAreAskedAboutAndEnterSendsNothing();

 private:
  CMainFrame* frame() const { return app_->mainFrame(); }
  CPostridrDoc& document() const { return app_->document(); }
  void Start(const ScriptedSmtpServer& server);
  void SelectOnly(const std::vector<int>& entries);
  void ClickPause() const;
  // The final box's text and details, then OK.
  ModalDriver::Action ReadFinalBox(FinalBox& box) const;

  std::unique_ptr<DesktopTestEnvironment> env_;
  std::unique_ptr<CPostridrApp> app_;
  bool askBeforeSending_ = false;
};

void DesktopSendTest::Start(const ScriptedSmtpServer& server) {
  // The question before a run has a test of its own.
  env_->WriteSendingSettings(server.address(), askBeforeSending_);
  app_ = std::make_unique<CPostridrApp>();
  QVERIFY(StartAndWait(*app_));
  QVERIFY(QTest::qWaitForWindowExposed(frame()));
}

void DesktopSendTest::SelectOnly(const std::vector<int>& entries) {
  document().UnselectAll();
  for (int entry : entries) document().ToggleEntrySelection(entry);
  document().SetModifiedFlag(false);
  frame()->RefreshTitle();
}

void DesktopSendTest::ClickPause() const {
  QWidget* button = frame()->toolBar()->widgetForAction(frame()->action(commands::kPause));
  QTest::mouseClick(button, Qt::LeftButton);
}

ModalDriver::Action DesktopSendTest::ReadFinalBox(FinalBox& box) const {
  return [this, &box](QWidget* modal) {
    auto* shown = qobject_cast<QMessageBox*>(modal);
    QVERIFY(shown != nullptr);
    box.text = shown->text();
    box.details = shown->detailedText();
    box.icon = shown->icon();
    box.progress = frame()->sendProgress()->value();
    box.progressMaximum = frame()->sendProgress()->maximum();
    QAbstractButton* ok = shown->button(QMessageBox::Ok);
    QVERIFY2(ok != nullptr, qPrintable("not the final box: " + shown->text()));
    ok->click();
  };
}

void DesktopSendTest::TwoSelectedEntriesReachTheServerAndTheWindowFollows() {
  ScriptedSmtpServer server({.replies = {{"RCPT:ken@", "550 5.1.1 No such user here"}}});
  Start(server);
  SelectOnly({1, 3, 7});
  QVERIFY(!frame()->isWindowModified());

  QAbstractItemModelTester tester(frame()->projectView()->entryModel());
  FinalBox box;
  ModalScript answers({ReadFinalBox(box)});
  QVERIFY(frame()->RouteCommand(commands::kSend));
  QCOMPARE(answers.acted(), 1);

  QCOMPARE(server.MessageCount(), 2);
  QCOMPARE(Delivered(server),
           std::multiset<std::string>({"alan.turing@example.org", "edsger@example.org"}));
  QCOMPARE(document().GetEntryStatus(1), static_cast<int>(StatusSent));
  QCOMPARE(document().GetEntryStatus(3), static_cast<int>(StatusSent));
  QCOMPARE(document().GetEntryStatus(7), static_cast<int>(StatusBadAddress));
  QCOMPARE(document().GetEntryStatus(0), static_cast<int>(StatusNone));
  // The rows show their new marks (icons, and the names screen readers read).
  const QAbstractItemModel* rows = frame()->projectView()->entryModel();
  QCOMPARE(rows->index(1, 0).data(Qt::AccessibleTextRole).toString(),
           QStringLiteral("selected, sent"));
  QCOMPARE(rows->index(7, 0).data(Qt::AccessibleTextRole).toString(),
           QStringLiteral("selected, bad address"));
  QCOMPARE(rows->index(0, 0).data(Qt::AccessibleTextRole).toString(),
           QStringLiteral("not selected, not sent"));
  // The list followed the run to the last entry it handled.
  QCOMPARE(frame()->projectView()->entryList()->currentIndex().row(), 7);
  QCOMPARE(frame()->statusPane(1)->text(), QStringLiteral("Complete"));

  // The total counts what the server took, and says what it did not.
  QCOMPARE(box.text,
           QStringLiteral("Send Complete! Total Messages Sent: 2 of 3 (refused by the server: 1)"));
  QCOMPARE(box.icon, QMessageBox::Information);
  QVERIFY2(box.details.startsWith(QStringLiteral("Accepted by the server: 2\nRefused by the server: 1\n"
                                                 "Bad address: 0\nNot reached: 0")),
           qPrintable(box.details));
  QVERIFY2(box.details.contains(
               QStringLiteral("Entry 8, refused ken@example.com: 550 5.1.1 No such user here")),
           qPrintable(box.details));
  QCOMPARE(box.progress, 3);
  QCOMPARE(box.progressMaximum, 3);
  QVERIFY(!frame()->sendProgress()->isVisible());

  // The new statuses wait to be saved, and the title says so.
  QVERIFY(document().IsModified());
  QVERIFY(frame()->isWindowModified());
  QVERIFY(frame()->windowTitle().startsWith(QStringLiteral("example")));
  QVERIFY(!frame()->sendRun().IsSending());
}

void DesktopSendTest::SendAsksFirstAndEnterOnTheQuestionSendsNothing() {
  ScriptedSmtpServer server;
  askBeforeSending_ = true;
  Start(server);
  SelectOnly({0, 1, 3});

  // Enter, as on a menu item reached by mistake: No, and nothing happens.
  QString question;
  QString defaultButton;
  {
    ModalScript answers({[&](QWidget* modal) {
                           auto* box = qobject_cast<QMessageBox*>(modal);
                           QVERIFY(box != nullptr);
                           question = box->text();
                           const QAbstractButton* chosen = box->defaultButton();
                           defaultButton = chosen != nullptr ? chosen->text().remove('&') : "";
                           QTest::keyClick(box, Qt::Key_Return);
                         },
                         ClickButton(QStringLiteral("OK"))});
    frame()->RouteCommand(commands::kSend);
    QCOMPARE(answers.acted(), 1);  // no final box either
  }
  QCOMPARE(question, QStringLiteral("Send 3 messages through %1?")
                         .arg(QString::fromStdString(server.address())));
  QCOMPARE(defaultButton, QStringLiteral("No"));
  QVERIFY(server.Commands().empty());
  QCOMPARE(document().GetEntryStatus(0), static_cast<int>(StatusNone));
  QVERIFY(!document().IsModified());

  // Yes with "Do not ask again" sends, and the next Send asks no more.
  FinalBox box;
  {
    ModalScript answers({[](QWidget* modal) {
                           auto* shown = qobject_cast<QMessageBox*>(modal);
                           QVERIFY(shown != nullptr && shown->checkBox() != nullptr);
                           shown->checkBox()->setChecked(true);
                           shown->button(QMessageBox::Yes)->click();
                         },
                         ReadFinalBox(box)});
    frame()->RouteCommand(commands::kSend);
    QCOMPARE(answers.acted(), 2);
  }
  QCOMPARE(server.MessageCount(), 3);
  QVERIFY(!frame()->confirmSend());
  {
    // Only the question about mailing the same entries again is left.
    ModalScript answers({ClickButton(QStringLiteral("Yes")), ReadFinalBox(box)});
    frame()->RouteCommand(commands::kSend);
    QCOMPARE(answers.acted(), 2);
  }
  QCOMPARE(server.MessageCount(), 6);
  QVERIFY(frame()->SaveSettings().ok());
  QCOMPARE(SettingsValue("Settings", "ConfirmSend"), std::string("0"));

  // Configure shows the choice and turns the question back on.
  bool shownOff = false;
  {
    ModalScript answers({[&shownOff](QWidget* modal) {
      auto* dialog = qobject_cast<CConfigureDlg*>(modal);
      QVERIFY(dialog != nullptr);
      shownOff = dialog->confirmSendCheck()->isVisible() &&
                 !dialog->confirmSendCheck()->isChecked();
      dialog->confirmSendCheck()->setChecked(true);
      dialog->okButton()->click();
    }});
    frame()->RouteCommand(commands::kConfigure);
    QCOMPARE(answers.acted(), 1);
  }
  QVERIFY(shownOff);
  QVERIFY(frame()->confirmSend());
}

void DesktopSendTest::PauseAtRcptStopsThereAndResumingWithNoMailsEveryoneOnce() {
  ScriptedSmtpServer server({.delays = {{"RCPT", 0.5}}});
  Start(server);
  SelectOnly({0, 1, 3});

  QString paneAtPause;
  WhileWaiting pauser([&] {
    if (!SawCommand(server, "RCPT TO:<alan.turing@example.org>")) return false;
    ClickPause();
    paneAtPause = frame()->statusPane(1)->text();
    return true;
  });
  FinalBox first;
  {
    ModalScript answers({ReadFinalBox(first)});
    frame()->RouteCommand(commands::kSend);
  }
  QVERIFY(pauser.done());
  QCOMPARE(paneAtPause, QStringLiteral("Sending 2 of 3"));
  QCOMPARE(first.text, QStringLiteral("Send paused before the end of the list. Accepted by the "
                                      "server: 1, refused by the server: 0, bad address: 0, not "
                                      "reached: 2."));
  QVERIFY2(first.details.contains(QStringLiteral("Paused at entry 2.")), qPrintable(first.details));
  QCOMPARE(document().GetEntryStatus(0), static_cast<int>(StatusSent));
  QCOMPARE(document().GetEntryStatus(1), static_cast<int>(StatusNone));
  QCOMPARE(document().GetLastIndexSent(), 1);
  QCOMPARE(server.MessageCount(), 1);

  // Send again: the question with its icon; No goes on where the run stopped.
  QMessageBox::Icon questionIcon = QMessageBox::NoIcon;
  FinalBox second;
  {
    ModalScript answers({[&questionIcon](QWidget* modal) {
                           auto* box = qobject_cast<QMessageBox*>(modal);
                           QVERIFY(box != nullptr);
                           questionIcon = box->icon();
                           QVERIFY(box->text().startsWith(
                               QStringLiteral("Your last send operation did not complete.")));
                           box->button(QMessageBox::No)->click();
                         },
                         ReadFinalBox(second)});
    frame()->RouteCommand(commands::kSend);
    QCOMPARE(answers.acted(), 2);
  }
  QCOMPARE(questionIcon, QMessageBox::Question);
  QCOMPARE(second.text, QStringLiteral("Send Complete! Total Messages Sent: 2"));
  // The bar measures what this run took up, so a resume that reached the end ends full.
  QCOMPARE(second.progress, 2);
  QCOMPARE(second.progressMaximum, 2);
  QCOMPARE(Delivered(server),
           std::multiset<std::string>(
               {"ada.lovelace@example.com", "alan.turing@example.org", "edsger@example.org"}));
  QCOMPARE(document().GetLastIndexSent(), 0);
}

// Opens a menu of the menu bar by its Alt key and picks an item by its letter.
bool PickFromMenu(QWidget* window, Qt::Key menuKey, Qt::Key itemKey) {
  // The window manager gives the window back its focus when a box closes;
  // the offscreen platform has none.
  window->activateWindow();
  if (!QTest::qWaitForWindowActive(window)) return false;
  QTest::keyClick(window, menuKey, Qt::AltModifier);
  // The menu bar opens its menu from the event loop.
  if (!QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 5000)) {
    return false;
  }
  auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  if (menu == nullptr) return false;
  QTest::keyClick(menu, itemKey);
  return true;
}

void DesktopSendTest::KeysAloneSelectSendPauseWithEscAndResumeMailingEveryoneOnce() {
  ScriptedSmtpServer server({.delays = {{"RCPT", 0.5}}});
  Start(server);
  SelectOnly({});
  frame()->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(frame()));
  QAbstractItemView* list = frame()->projectView()->entryList();
  list->setFocus();
  for (Qt::Key key : {Qt::Key_Home, Qt::Key_Space, Qt::Key_Down, Qt::Key_Space, Qt::Key_Down,
                      Qt::Key_Down, Qt::Key_Space}) {
    QTest::keyClick(list, key);
  }
  QCOMPARE(document().GetSelectedCount(), 3);
  QCOMPARE(document().IsEntrySelected(3), 1);

  WhileWaiting escape([&] {
    if (!SawCommand(server, "RCPT TO:<alan.turing@example.org>")) return false;
    QTest::keyClick(list, Qt::Key_Escape);
    return true;
  });
  FinalBox first;
  {
    ModalScript answers({ReadFinalBox(first)});
    QVERIFY(PickFromMenu(frame(), Qt::Key_M, Qt::Key_S));
    QCOMPARE(answers.acted(), 1);
  }
  QVERIFY(escape.done());
  QVERIFY2(first.details.contains(QStringLiteral("Paused at entry 2.")), qPrintable(first.details));
  QCOMPARE(server.MessageCount(), 1);

  // Enter on the resume question goes on from where the run stopped; the
  // Message menu's Pause, reached by keys while the run goes, stops it again.
  auto enter = [](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); };
  bool pausedByMenu = false;
  WhileWaiting menuPause([&] {
    if (!SawCommand(server, "RCPT TO:<edsger@example.org>")) return false;
    pausedByMenu = PickFromMenu(frame(), Qt::Key_M, Qt::Key_P);
    return true;
  });
  FinalBox second;
  {
    ModalScript answers({enter, ReadFinalBox(second)});
    QVERIFY(PickFromMenu(frame(), Qt::Key_M, Qt::Key_S));
    QCOMPARE(answers.acted(), 2);
  }
  QVERIFY(pausedByMenu);
  QVERIFY2(second.details.contains(QStringLiteral("Paused at entry 4.")), qPrintable(second.details));
  {
    ModalScript answers({enter, enter});
    QVERIFY(PickFromMenu(frame(), Qt::Key_M, Qt::Key_S));
    QCOMPARE(answers.acted(), 2);
  }
  QCOMPARE(Delivered(server),
           std::multiset<std::string>(
               {"ada.lovelace@example.com", "alan.turing@example.org", "edsger@example.org"}));
}

void DesktopSendTest::PauseWhileTheServerHoldsTheMessageWaitsForItsAnswer() {
  ScriptedSmtpServer server({.delays = {{".", 1.0}}});
  Start(server);
  SelectOnly({0, 1, 3});

  QString paneAtPause;
  WhileWaiting pauser([&] {
    if (server.MessageCount() < 1) return false;
    // A double click is one Pause: a second would cut the wait short.
    ClickPause();
    ClickPause();
    paneAtPause = frame()->statusPane(1)->text();
    return true;
  });
  FinalBox first;
  {
    ModalScript answers({ReadFinalBox(first)});
    frame()->RouteCommand(commands::kSend);
  }
  QVERIFY(pauser.done());
  QCOMPARE(paneAtPause, QString::fromLatin1(texts::kAwaitingConfirmation));
  // The server had the message: its answer came and the entry is sent.
  QCOMPARE(document().GetEntryStatus(0), static_cast<int>(StatusSent));
  QCOMPARE(document().GetEntryStatus(1), static_cast<int>(StatusHalted));
  QCOMPARE(document().GetLastIndexSent(), 1);
  QVERIFY2(first.text.startsWith(QStringLiteral("Send paused before the end of the list. "
                                                "Accepted by the server: 1,")),
           qPrintable(first.text));

  FinalBox second;
  {
    ModalScript answers({ClickButton(QStringLiteral("No")), ReadFinalBox(second)});
    frame()->RouteCommand(commands::kSend);
    QCOMPARE(answers.acted(), 2);
  }
  QCOMPARE(Delivered(server),
           std::multiset<std::string>(
               {"ada.lovelace@example.com", "alan.turing@example.org", "edsger@example.org"}));
  QCOMPARE(document().GetEntryStatus(1), static_cast<int>(StatusSent));
  QCOMPARE(document().GetEntryStatus(3), static_cast<int>(StatusSent));
}

void DesktopSendTest::DuringARunOnlyPauseWorksButClicksAndTypingGoThrough() {
  ScriptedSmtpServer server({.delays = {{".", 0.5}}});
  Start(server);
  SelectOnly({0, 1, 3});
  QAbstractItemView* list = frame()->projectView()->entryList();
  QPlainTextEdit* letter = frame()->messageView()->messageEdit();

  int refusedBefore = 0;
  int refusedAfter = 0;
  bool closed = true;
  bool stillVisible = false;
  int selectedAfterSelectAll = -1;
  WhileWaiting meddler([&] {
    if (server.MessageCount() < 1) return false;
    refusedBefore = frame()->sendRun().refusedCommands();
    frame()->action(commands::kSelectAll)->trigger();     // menu
    QTest::keyClick(frame(), Qt::Key_N, Qt::ControlModifier);  // accelerator: New
    frame()->action(commands::kSend)->trigger();          // a second Send
    frame()->action(commands::kConfigure)->trigger();
    frame()->insertFieldMenu()->actions().value(0)->trigger();  // insert-field menu
    closed = frame()->close();                            // the close box
    stillVisible = frame()->isVisible();
    selectedAfterSelectAll = document().GetSelectedCount();
    refusedAfter = frame()->sendRun().refusedCommands();
    // Clicks in the list toggle entries the run has yet to reach.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(3, 0)).center());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(4, 0)).center());
    // Typing reaches the next message composed.
    letter->moveCursor(QTextCursor::End);
    QTest::keyClicks(letter, QStringLiteral("P.S. typed while sending"));
    return true;
  });
  FinalBox box;
  {
    ModalScript answers({ReadFinalBox(box)});
    frame()->RouteCommand(commands::kSend);
    QCOMPARE(answers.acted(), 1);
  }
  QVERIFY(meddler.done());
  QCOMPARE(refusedAfter - refusedBefore, 6);
  QVERIFY(!closed);
  QVERIFY(stillVisible);
  QCOMPARE(selectedAfterSelectAll, 3);
  // One run only, and it honoured the clicks: 3 off, 4 on.
  QCOMPARE(Delivered(server),
           std::multiset<std::string>(
               {"ada.lovelace@example.com", "alan.turing@example.org", "barbara.liskov@example.com"}));
  QVERIFY(server.Message(1).find("P.S. typed while sending") == std::string::npos);
  QVERIFY(server.Message(2).find("P.S. typed while sending") != std::string::npos);
  QCOMPARE(document().IsEntrySelected(3), 0);
  QCOMPARE(document().GetEntryStatus(3), static_cast<int>(StatusNone));
  QCOMPARE(box.text, QStringLiteral("Send Complete! Total Messages Sent: 3"));

  // After the run every command works again.
  frame()->action(commands::kSelectAll)->trigger();
  QCOMPARE(document().GetSelectedCount(), 12);
  QCOMPARE(frame()->sendRun().refusedCommands(), refusedAfter);
}

void DesktopSendTest::PreviewShowsTheMessageTheServerReceives() {
  ScriptedSmtpServer server;
  Start(server);
  SelectOnly({2, 4});
  // An edit not yet saved is in the preview, as it will be in the message.
  QPlainTextEdit* letter = frame()->messageView()->messageEdit();
  letter->moveCursor(QTextCursor::Start);
  letter->insertPlainText(QStringLiteral("Gr\u00fc\u00dfe vorab! "));
  frame()->projectView()->ShowEntry(4);

  QString shown;
  QString firstSkip;
  QString previousSkip;
  bool skipVisible = false;
  ModalScript preview({[&](QWidget* modal) {
    auto* dialog = qobject_cast<CPreviewDlg*>(modal);
    QVERIFY(dialog != nullptr);
    QCOMPARE(dialog->entry(), 4);
    shown = dialog->messageText()->toPlainText();
    firstSkip = dialog->skipLabel()->text();
    QVERIFY(!dialog->nextButton()->isEnabled());
    dialog->previousButton()->click();
    QCOMPARE(dialog->entry(), 2);
    previousSkip = dialog->skipLabel()->text();
    skipVisible = dialog->skipLabel()->isVisible();
    dialog->closeButton()->click();
  }});
  frame()->RouteCommand(commands::kPreview);
  QCOMPARE(preview.acted(), 1);
  QCOMPARE(firstSkip, QString());
  QCOMPARE(previousSkip, QStringLiteral("Send would skip this entry: \"grace hopper@example.com\" "
                                        "is not a valid e-mail address."));
  QVERIFY(skipVisible);
  // Nothing was sent or marked.
  QCOMPARE(server.MessageCount(), 0);
  QCOMPARE(document().GetEntryStatus(4), static_cast<int>(StatusNone));

  FinalBox box;
  {
    ModalScript answers({ReadFinalBox(box)});
    frame()->RouteCommand(commands::kSend);
  }
  QCOMPARE(server.MessageCount(), 1);
  const QString received = env_->Write(QStringLiteral("received.eml"),
                                       QByteArray::fromStdString(server.Message(1)));
  // Python's mail package reads the message the server got: subject, From,
  // To and body must be what the preview showed.
  const QStringList parsed =
      QString::fromUtf8(QByteArray::fromStdString(ParsedByPython(Bytes(received))))
          .split(QLatin1Char('\n'));
  QCOMPARE(parsed.size(), 4);
  const QStringList lines = shown.split(QLatin1Char('\n'));
  QCOMPARE(lines.value(0), QStringLiteral("To: ") + parsed[2]);
  QCOMPARE(lines.value(1), QStringLiteral("From: ") + parsed[1]);
  QCOMPARE(lines.value(2), QStringLiteral("Subject: ") + parsed[0]);
  QVERIFY(lines.value(3).startsWith(QStringLiteral("Date: ")));
  QCOMPARE(lines.value(4), QString());
  QCOMPARE(lines.mid(5).join(QLatin1Char('|')), parsed[3]);
  QVERIFY(parsed[3].startsWith(QStringLiteral("Gr\u00fc\u00dfe vorab! Dear Barbara Liskov,")));
}

void DesktopSendTest::ALogInPasswordIsAskedForAtSendOnceAndNeverWritten() {
  const std::string password = "c0rrect-H0rse";
  TestCertificates certificates;
  ScriptedSmtpServer server(LogInServerAndSettings(certificates, password));
  Start(server);
  SelectOnly({0, 1});

  // No secret store in the tests: the first Send asks, without showing what is typed.
  QString prompt;
  FinalBox first;
  {
    ModalScript answers({[&](QWidget* modal) {
                           auto* dialog = qobject_cast<CPasswordDlg*>(modal);
                           QVERIFY(dialog != nullptr);
                           QCOMPARE(dialog->passwordEdit()->echoMode(), QLineEdit::Password);
                           prompt = dialog->findChild<QLabel*>()->text();
                           QTest::keyClicks(dialog->passwordEdit(), QString::fromStdString(password));
                           dialog->okButton()->click();
                         },
                         ReadFinalBox(first)});
    frame()->RouteCommand(commands::kSend);
    QCOMPARE(answers.acted(), 2);
  }
  QCOMPARE(prompt, QStringLiteral("Password for library on ") +
                       QString::fromStdString(server.address()) + QLatin1Char(':'));
  QCOMPARE(server.MessageCount(), 2);
  QVERIFY(SawCommand(server, "STARTTLS"));
  QVERIFY(SawCommand(server, "AUTHENTICATED library"));

  // The next Send of the session takes it from memory. Both entries are
  // marked sent by now, so it asks first whether to send them again.
  FinalBox second;
  {
    ModalScript answers({ClickButton(QStringLiteral("Yes")), ReadFinalBox(second)});
    frame()->RouteCommand(commands::kSend);
    QCOMPARE(answers.acted(), 2);
  }
  QCOMPARE(server.MessageCount(), 4);
  QVERIFY(!first.details.contains(QString::fromStdString(password)));

  // Nothing the program wrote holds it: the settings, the project, the log.
  QVERIFY(frame()->SaveSettings().ok());
  QVERIFY(document().OnSaveDocument(document().GetPathName()));
  QDirIterator files(env_->path(), QDir::Files, QDirIterator::Subdirectories);
  int looked = 0;
  while (files.hasNext()) {
    const QString path = files.next();
    ++looked;
    QVERIFY2(!ReadBytes(path).contains(QByteArray::fromStdString(password)), qPrintable(path));
  }
  QVERIFY(looked >= 4);
  QVERIFY(ReadBytes(QString::fromStdString(SettingsFilePath())).contains("UserName=library"));
}

// Repeated failed log-ins lock accounts at many providers: a refused
// password is asked for again, never taken from memory.
void DesktopSendTest::APasswordTheServerRefusedIsAskedForAgainAndNotSentAgain() {
  const std::string password = "c0rrect-H0rse";
  const std::string wrong = "wr0ng-Guess";
  TestCertificates certificates;
  ScriptedSmtpServer server(LogInServerAndSettings(certificates, password));
  Start(server);
  SelectOnly({0, 1});

  const auto typePassword = [](const std::string& typed, QString* note) {
    return [typed, note](QWidget* modal) {
      auto* dialog = qobject_cast<CPasswordDlg*>(modal);
      QVERIFY2(dialog != nullptr, qPrintable("not the password question: " + modal->windowTitle()));
      for (QLabel* label : dialog->findChildren<QLabel*>()) {
        if (note != nullptr && label->accessibleDescription() == QStringLiteral("Note")) {
          *note = label->text();
        }
      }
      QTest::keyClicks(dialog->passwordEdit(), QString::fromStdString(typed));
      dialog->okButton()->click();
    };
  };
  FinalBox error;
  FinalBox first;
  {
    ModalScript answers({typePassword(wrong, nullptr), ReadFinalBox(error), ReadFinalBox(first)});
    frame()->RouteCommand(commands::kSend);
    QCOMPARE(answers.acted(), 3);
  }
  QVERIFY2(error.text.contains(QStringLiteral("535")), qPrintable(error.text));
  QVERIFY(!error.text.contains(QString::fromStdString(wrong)));
  QCOMPARE(server.MessageCount(), 0);

  // The next Send asks, saying why, and what is typed then goes.
  QString note;
  FinalBox second;
  {
    ModalScript answers({typePassword(password, &note), ReadFinalBox(second)});
    frame()->RouteCommand(commands::kSend);
    QCOMPARE(answers.acted(), 2);
  }
  QVERIFY2(note.contains(QStringLiteral("refused")), qPrintable(note));
  QVERIFY2(error.text.contains(QStringLiteral("asks for the password at the next Send")),
           qPrintable(error.text));
  QCOMPARE(server.MessageCount(), 2);
  int logIns = 0;
  for (const std::string& command : server.Commands()) {
    if (command.starts_with("AUTH ")) ++logIns;
  }
  QCOMPARE(logIns, 2);
  QVERIFY(SawCommand(server, "AUTHENTICATED library"));
}

void DesktopSendTest::ACancelledPasswordEndsTheSendWithOneBoxSayingWhy() {
  TestCertificates certificates;
  ScriptedSmtpServer server(LogInServerAndSettings(certificates, "c0rrect-H0rse"));
  Start(server);
  SelectOnly({0, 1});

  QString told;
  {
    ModalScript answers({[](QWidget* modal) {
                           auto* dialog = qobject_cast<CPasswordDlg*>(modal);
                           QVERIFY2(dialog != nullptr, qPrintable(modal->windowTitle()));
                           QTest::keyClick(dialog, Qt::Key_Escape);
                         },
                         [&](QWidget* modal) {
                           auto* box = qobject_cast<QMessageBox*>(modal);
                           QVERIFY(box != nullptr);
                           told = box->text();
                           QTest::keyClick(box, Qt::Key_Return);
                         },
                         [&](QWidget* modal) {
                           told += QStringLiteral("\nthen: ") + modal->windowTitle();
                           if (auto* box = qobject_cast<QMessageBox*>(modal)) {
                             told += QLatin1Char(' ') + box->text();
                           }
                           modal->close();
                         }});
    frame()->RouteCommand(commands::kSend);
    QVERIFY2(answers.acted() == 2, qPrintable(told));  // no box of figures after it
  }
  QCOMPARE(told, QStringLiteral("No password was given for library, so nothing was sent."));
  QVERIFY(!frame()->sendRun().IsSending());
  QVERIFY(!frame()->sendProgress()->isVisible());
  QVERIFY(server.Commands().empty());
  QCOMPARE(document().GetEntryStatus(0), static_cast<int>(StatusNone));
}

// Failed log-ins lock accounts: the keyring's refused password is not sent
// again by the program started anew, nor is it left in the keyring.
void DesktopSendTest::AStoredPasswordTheServerRefusedIsNotTriedAgainAfterARestart() {
  TestCertificates certificates;
  ScriptedSmtpServer server(LogInServerAndSettings(certificates, "c0rrect-H0rse"));
  const std::string account = "library@" + server.address();
  {
    SecretServiceSession secrets;
    if (!secrets.available()) QSKIP("no dbus-daemon or gnome-keyring-daemon");
    QVERIFY(KeychainPasswordStore().Write(account, Secret("wr0ng-Guess")).ok());
    KeepRunningWhenTheSessionBusCloses();
    Start(server);
    SelectOnly({0, 1});

    FinalBox error;
    FinalBox first;
    {
      ModalScript answers({ReadFinalBox(error), ReadFinalBox(first)});
      frame()->RouteCommand(commands::kSend);
      QCOMPARE(answers.acted(), 2);  // the stored one went, unasked
    }
    QVERIFY2(error.text.contains(QStringLiteral("535")), qPrintable(error.text));
    QCOMPARE(static_cast<int>(KeychainPasswordStore().Read(account).state),
             static_cast<int>(StoredPassword::State::Missing));

    app_.reset();
    Start(server);
    SelectOnly({0, 1});
    QString asked;
    {
      ModalScript answers({[&](QWidget* modal) {
                             asked = modal->windowTitle();
                             modal->close();
                           },
                           ClickButton(QStringLiteral("OK"))});
      frame()->RouteCommand(commands::kSend);
      QCOMPARE(answers.acted(), 2);
    }
    QCOMPARE(asked, QStringLiteral("SMTP Password"));
    int logIns = 0;
    for (const std::string& command : server.Commands()) {
      if (command.starts_with("AUTH ")) ++logIns;
    }
    QCOMPARE(logIns, 1);
    app_.reset();  // before its keyring goes
  }
  // The tests after this one find no store again.
  CutOffTheSessionBus();
  QCOMPARE(static_cast<int>(KeychainPasswordStore(10000).Read(account).state),
           static_cast<int>(StoredPassword::State::Unavailable));
}

void DesktopSendTest::ALogThatCannotBeWrittenIsShownOnceAndTheRunGoesOn() {
  ScriptedSmtpServer server;
  // A link planted where the log goes must not take the addresses elsewhere.
  const std::string log = SendLogPath();
  QVERIFY(EnsureParentFolder(log));
  const QString elsewhere = env_->File(QStringLiteral("elsewhere.txt"));
  {
    QFile file(elsewhere);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not for the log\n");
  }
  QVERIFY(QFile::link(elsewhere, QString::fromStdString(log)));
  WritePrivateProfileString("Settings", "Log", "1", SettingsFilePath());
  Start(server);
  SelectOnly({0, 1});

  QString warning;
  QMessageBox::Icon warningIcon = QMessageBox::NoIcon;
  FinalBox box;
  ModalScript answers({[&](QWidget* modal) {
                         auto* shown = qobject_cast<QMessageBox*>(modal);
                         QVERIFY(shown != nullptr);
                         warning = shown->text();
                         warningIcon = shown->icon();
                         shown->button(QMessageBox::Ok)->click();
                       },
                       ReadFinalBox(box)});
  QVERIFY(frame()->RouteCommand(commands::kSend));
  QCOMPARE(answers.acted(), 2);

  QVERIFY2(warning.contains(QStringLiteral("it is a symbolic link")), qPrintable(warning));
  QCOMPARE(warningIcon, QMessageBox::Warning);
  QCOMPARE(box.text, QStringLiteral("Send Complete! Total Messages Sent: 2"));
  QCOMPARE(server.MessageCount(), 2);
  QCOMPARE(ReadBytes(elsewhere), QByteArray("not for the log\n"));
}

QTEST_MAIN(DesktopSendTest)
#include "desktop_send_test.moc"

void DesktopSendTest::AListRewrittenByAnotherProgramSinceOpeningIsNotSentTo() {
  ScriptedSmtpServer server;
  Start(server);
  const QString listPath = env_->File(QStringLiteral("recipients.txt"));
  QFile original(listPath);
  QVERIFY(original.open(QIODevice::ReadOnly));
  const QByteArray listBytes = original.readAll();
  original.close();
  const QByteArray header = listBytes.left(listBytes.indexOf('\n') + 1);
  const QByteArray newcomer = "Zoe\tNew\tzoe@example.net\tOslo\t2024\n";
  const QByteArray withNewcomer = header + newcomer + listBytes.mid(header.size());

  struct Rewrite {
    const char* how;
    std::function<bool()> write;
  };
  const std::vector<Rewrite> rewrites = {
      {"in place, a line put in at the top",
       [&] {
         QFile file(listPath);
         return file.open(QIODevice::WriteOnly) && file.write(withNewcomer) == withNewcomer.size();
       }},
      {"replaced by a file of the same size",
       [&] {
         QByteArray swapped = listBytes;
         swapped.replace("Ada", "Ida");
         const QString fresh = listPath + QStringLiteral(".new");
         QFile file(fresh);
         if (!file.open(QIODevice::WriteOnly) || file.write(swapped) != swapped.size()) return false;
         file.close();
         return std::rename(QFile::encodeName(fresh).constData(),
                            QFile::encodeName(listPath).constData()) == 0;
       }},
      {"deleted", [&] { return QFile::remove(listPath); }},
  };
  for (const Rewrite& rewrite : rewrites) {
    document().SetModifiedFlag(false);
    QCOMPARE(app_->OpenDocumentFile(Bytes(env_->File(QStringLiteral("example.prj")))),
             CPostridrApp::OpenResult::Opened);
    QVERIFY(!document().IsReadOnly());
    SelectOnly({11});
    QVERIFY2(rewrite.write(), rewrite.how);

    QString shown;
    {
      ModalScript answers({[&shown](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box != nullptr);
        shown = box->text();
        box->button(QMessageBox::Ok)->click();
      }});
      frame()->RouteCommand(commands::kSend);
      QCOMPARE(answers.acted(), 1);  // no question and no final box
    }
    QVERIFY2(shown.contains(listPath) && shown.contains(QStringLiteral("Nothing was sent")),
             qPrintable(QString::fromLatin1(rewrite.how) + ": " + shown));
    QVERIFY2(server.Commands().empty(), rewrite.how);
    QCOMPARE(document().GetEntryStatus(11), static_cast<int>(StatusNone));

    QFile restore(listPath);
    QVERIFY(restore.open(QIODevice::WriteOnly) && restore.write(listBytes) == listBytes.size());
  }
}

// A mistyped field and one the list lacks would reach everyone as written:
// the question names them, and Enter on it (No) sends and marks nothing.
void DesktopSendTest::FieldsTheListLacksAreAskedAboutAndEnterSendsNothing() {
  ScriptedSmtpServer server;
  Start(server);
  SelectOnly({0, 1});
  QPlainTextEdit* letter = frame()->messageView()->messageEdit();
  letter->moveCursor(QTextCursor::Start);
  letter->insertPlainText(QStringLiteral("Hello [[firstname]], your code is [[Code]].\n"));

  QString question;
  QString defaultButton;
  {
    ModalScript answers({[&](QWidget* modal) {
                           auto* box = qobject_cast<QMessageBox*>(modal);
                           QVERIFY(box != nullptr);
                           question = box->text();
                           const QAbstractButton* chosen = box->defaultButton();
                           defaultButton = chosen != nullptr ? chosen->text().remove('&') : "";
                           QTest::keyClick(box, Qt::Key_Return);
                         },
                         ClickButton(QStringLiteral("OK"))});
    frame()->RouteCommand(commands::kSend);
    QCOMPARE(answers.acted(), 1);  // no final box
  }
  QCOMPARE(question, QStringLiteral("The letter names fields the mailing list does not have: "
                                    "[[firstname]] (the list has FirstName), [[Code]]. Each "
                                    "recipient would get them as written. Send anyway?"));
  QCOMPARE(defaultButton, QStringLiteral("No"));
  QVERIFY(server.Commands().empty());
  QCOMPARE(document().GetEntryStatus(0), static_cast<int>(StatusNone));
  QCOMPARE(document().GetEntryStatus(1), static_cast<int>(StatusNone));
  QCOMPARE(frame()->statusPane(1)->text(), QStringLiteral("2 Selected"));

  FinalBox box;
  {
    ModalScript answers({ClickButton(QStringLiteral("Yes")), ReadFinalBox(box)});
    frame()->RouteCommand(commands::kSend);
    QCOMPARE(answers.acted(), 2);
  }
  QCOMPARE(server.MessageCount(), 2);
  QVERIFY2(server.Message(1).find("Hello [[firstname]], your code is [[Code]].") !=
               std::string::npos,
           server.Message(1).c_str());
  QCOMPARE(document().GetEntryStatus(1), static_cast<int>(StatusSent));
}
