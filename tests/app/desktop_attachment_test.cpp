#include <QFileDialog>
#include <QLabel>
#include <QProgressBar>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>

#include <memory>

#include "app/command_ids.h"
#include "app/desktop_send_run.h"
#include "app_test_support.h"
#include "dialogs/attachment_problems_dlg.h"
#include "dialogs/dialogs_test_support.h"
#include "platform/sha256.h"
#include "project/postridr_doc.h"
#include "support/python_mail_parser.h"
#include "support/scripted_smtp_server.h"

using namespace postrider;
using namespace postrider::testing;

// Attach..., then Send with one recipient whose own file is missing: the
// Attachments dialog names that entry, Unselect and Send mails the others
// with their files.
class DesktopAttachmentTest : public QObject {
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
    if (app_ && app_->mainFrame() != nullptr) app_->document().SetModifiedFlag(false);
    app_.reset();
    env_.reset();
  }

  void AttachThenSendUnselectsTheEntryWhoseFileIsMissing();
  void AFileChangedDuringTheRunKeepsTheFinalBoxShortAndItsDetailsWhole();
  void CancelledAtTheFileCheckTheRunLeavesThePaneShowingTheSelection();

 private:
  std::unique_ptr<DesktopTestEnvironment> env_;
  std::unique_ptr<CPostridrApp> app_;
};

void DesktopAttachmentTest::AttachThenSendUnselectsTheEntryWhoseFileIsMissing() {
  ScriptedSmtpServer server;
  env_->WriteSendingSettings(server.address());
  const QByteArray programme = QByteArray("%PDF-1.4\n") + QByteArray(70000, '\x07');
  env_->Write(QStringLiteral("Programme 2026.pdf"), programme);
  QDir(env_->path()).mkpath(QStringLiteral("seats"));
  env_->Write(QStringLiteral("seats/Ada.txt"), "Seat 1 for Ada");
  env_->Write(QStringLiteral("seats/Alan.txt"), "Seat 2 for Alan");
  app_ = std::make_unique<CPostridrApp>();
  QVERIFY(StartAndWait(*app_));
  CMainFrame* frame = app_->mainFrame();
  CPostridrDoc& document = app_->document();

  frame->UpdateCommandStates();
  QVERIFY(frame->action(commands::kAttach)->isEnabled());
  {
    ModalScript attach({[&](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      QVERIFY(dialog != nullptr);
      QCOMPARE(dialog->windowTitle(), QStringLiteral("Attach"));
      dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
          ->setText(env_->File(QStringLiteral("Programme 2026.pdf")));
      static_cast<QDialog*>(dialog)->accept();
    }});
    QVERIFY(frame->RouteCommand(commands::kAttach));
    QCOMPARE(attach.acted(), 1);
  }
  // A seat of each recipient's own, typed as a second line.
  document.InsertAtMessageStart("[[Attachment:  " + Bytes(env_->path()) + "/seats/[[FirstName]].txt]]\r\n");
  document.UnselectAll();
  for (const int entry : {0, 1, 3}) document.ToggleEntrySelection(entry);

  QStringList rows;
  QString finalText;
  QString finalDetails;
  ModalScript answers({
      [&](QWidget* modal) {
        auto* dialog = qobject_cast<CAttachmentProblemsDlg*>(modal);
        QVERIFY(dialog != nullptr);
        for (int row = 0; row < dialog->table()->rowCount(); ++row) {
          rows << dialog->table()->item(row, 1)->text() + " " + dialog->table()->item(row, 3)->text();
        }
        dialog->unselectButton()->click();
      },
      [&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        QVERIFY(box != nullptr);
        finalText = box->text();
        finalDetails = box->detailedText();
        box->button(QMessageBox::Ok)->click();
      },
  });
  QVERIFY(frame->RouteCommand(commands::kSend));
  QCOMPARE(answers.acted(), 2);
  QCOMPARE(rows, QStringList{QStringLiteral("edsger@example.org the file does not exist")});
  QVERIFY2(finalText.startsWith(QStringLiteral("Send Complete! Total Messages Sent: 2")),
           qPrintable(finalText));
  QCOMPARE(server.MessageCount(), 2);
  QCOMPARE(document.IsEntrySelected(3), 0);
  // The final box names whom the choice left out, as postrider-cli does.
  const QString unselected =
      QStringLiteral("Unselected before the run, their files could not go (1 entry):\n"
                     "entry 4 <edsger@example.org>: %1/seats/Edsger.txt: the file does not exist")
          .arg(env_->path());
  QVERIFY2(finalText.endsWith(QStringLiteral("\n\n") + unselected), qPrintable(finalText));
  QVERIFY2(finalDetails.endsWith(QStringLiteral("\n\n") + unselected), qPrintable(finalDetails));
  const QString received = env_->Write(QStringLiteral("alan.eml"), QByteArray::fromStdString(server.Message(2)));
  QCOMPARE(QString::fromStdString(AttachmentsParsedByPython(Bytes(received))),
           QStringLiteral("Alan.txt\ttext/plain\t15\t%1\nProgramme 2026.pdf\tapplication/pdf\t%2\t%3\n")
               .arg(QString::fromStdString(Sha256Hex("Seat 2 for Alan")))
               .arg(programme.size())
               .arg(QString::fromStdString(Sha256Hex(programme.toStdString()))));
}

// Nothing was sent and nothing touched: the pane must not be left blank.
void DesktopAttachmentTest::CancelledAtTheFileCheckTheRunLeavesThePaneShowingTheSelection() {
  ScriptedSmtpServer server;
  env_->WriteSendingSettings(server.address());
  app_ = std::make_unique<CPostridrApp>();
  QVERIFY(StartAndWait(*app_));
  CMainFrame* frame = app_->mainFrame();
  CPostridrDoc& document = app_->document();
  document.InsertAtMessageStart("[[Attachment:  " + Bytes(env_->path()) + "/missing.txt]]\r\n");
  document.UnselectAll();
  for (const int entry : {0, 1, 3}) document.ToggleEntrySelection(entry);
  QTRY_COMPARE(frame->statusPane(1)->text(), QStringLiteral("3 Selected"));

  QString after;  // any box after the dialog, which a cancel should not bring
  {
    ModalScript answers({[&](QWidget* modal) {
                           auto* dialog = qobject_cast<CAttachmentProblemsDlg*>(modal);
                           auto* box = qobject_cast<QMessageBox*>(modal);
                           QVERIFY2(dialog != nullptr,
                                    qPrintable(box ? box->text() : modal->windowTitle()));
                           dialog->cancelButton()->click();
                         },
                         [&](QWidget* modal) {
                           after = modal->windowTitle();
                           modal->close();
                         }});
    QVERIFY(frame->RouteCommand(commands::kSend));
    QVERIFY2(answers.acted() == 1, qPrintable(after));
  }
  QTRY_COMPARE(frame->statusPane(1)->text(), QStringLiteral("3 Selected"));
  QCOMPARE(server.MessageCount(), 0);
  QCOMPARE(document.GetSelectedCount(), 3);
}

void DesktopAttachmentTest::AFileChangedDuringTheRunKeepsTheFinalBoxShortAndItsDetailsWhole() {
  // Each MAIL waits a little, so that the window shows the run's progress
  // while the first message is on its way.
  ScriptedSmtpServer server({.delays = {{"MAIL", 0.1}}});
  env_->WriteSendingSettings(server.address());
  const QString programme = env_->Write(QStringLiteral("Programme.pdf"), "%PDF-1.4\nfirst\n");
  app_ = std::make_unique<CPostridrApp>();
  QVERIFY(StartAndWait(*app_));
  CMainFrame* frame = app_->mainFrame();
  app_->document().InsertAtMessageStart("[[Attachment:  " + Bytes(programme) + "]]\r\n");
  // Written over once the window shows the first message on its way: every
  // entry after the ones already made is left unsent.
  bool changed = false;
  connect(frame->sendProgress(), &QProgressBar::valueChanged, frame, [&](int value) {
    if (value < 1 || changed) return;
    changed = true;
    env_->Write(QStringLiteral("Programme.pdf"), "%PDF-1.4\nsecond, longer\n");
  });

  QString text;
  QString details;
  ModalScript answers({[&](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    QVERIFY2(box != nullptr && box->button(QMessageBox::Ok) != nullptr,
             qPrintable(modal->windowTitle()));
    text = box->text();
    details = box->detailedText();
    box->button(QMessageBox::Ok)->click();
  }});
  QVERIFY(frame->RouteCommand(commands::kSend));
  QCOMPARE(answers.acted(), 1);
  QVERIFY(changed);

  const SendRunResult& result = frame->sendRun().lastResult();
  const int faults = result.attachmentFailed;
  QVERIFY2(faults > 5, qPrintable(text));
  QCOMPARE(server.MessageCount(), result.accepted);
  // The box names five and counts the rest; the details name every one.
  QCOMPARE(text.count(QStringLiteral("changed after the check")), 5);
  QVERIFY2(text.contains(QStringLiteral("\nand %1 more entries").arg(faults - 5)), qPrintable(text));
  QCOMPARE(details.count(QStringLiteral("changed after the check")), faults);
}

QTEST_MAIN(DesktopAttachmentTest)
#include "desktop_attachment_test.moc"
