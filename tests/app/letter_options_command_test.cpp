// Message > Letter Options... on the real program: the options reach the
// project, the format bar, Preview and what Send mails.
#include <QAction>
#include <QComboBox>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

#include <memory>

#include "app/command_ids.h"
#include "app_test_support.h"
#include "dialogs/dialogs_test_support.h"
#include "dialogs/formatted_message_view.h"
#include "dialogs/letter_options_dlg.h"
#include "dialogs/preview_dlg.h"
#include "platform/sha256.h"
#include "project/postridr_doc.h"
#include "support/python_mail_parser.h"
#include "support/scripted_smtp_server.h"
#include "views/format_bar.h"
#include "views/message_view.h"

using namespace postrider;
using namespace postrider::testing;

class LetterOptionsCommandTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    CutOffTheSessionBus();
  }
  void init() {
    env_ = ExampleProjectEnvironment();
  }
  void cleanup() { env_.reset(); }

  void MarkdownChosenShowsTheFormatBarIsSavedPreviewsFormattedAndSendsItWithItsFile();

 private:
  std::unique_ptr<DesktopTestEnvironment> env_;
};

void LetterOptionsCommandTest::MarkdownChosenShowsTheFormatBarIsSavedPreviewsFormattedAndSendsItWithItsFile() {
  ScriptedSmtpServer server;
  env_->WriteSendingSettings(server.address());
  const QByteArray programme = QByteArray("%PDF-1.4\n") + QByteArray(5000, '\x07');
  env_->Write(QStringLiteral("programme.pdf"), programme);
  CPostridrApp app;
  QVERIFY(StartAndWait(app));
  CMainFrame* frame = app.mainFrame();
  app.document().InsertAtMessageStart("[[Attachment:  " +
                                      Bytes(env_->File(QStringLiteral("programme.pdf"))) + "]]\r\n");
  QVERIFY(frame->action(commands::kLetterOptions)->isEnabled());
  QVERIFY(frame->messageView()->formatBar()->isHidden());

  {
    ModalScript options({[](QWidget* modal) {
      auto* dialog = qobject_cast<CLetterOptionsDlg*>(modal);
      QVERIFY(dialog != nullptr);
      dialog->formatCombo()->setCurrentIndex(1);
      dialog->okButton()->click();
    }});
    QVERIFY(frame->RouteCommand(commands::kLetterOptions));
    QCOMPARE(options.acted(), 1);
  }
  QVERIFY(app.document().IsModified());
  QTRY_VERIFY(frame->messageView()->formatBar()->isVisible());

  bool formatted = false;
  QStringList files;
  {
    ModalScript preview({[&](QWidget* modal) {
      auto* dialog = qobject_cast<CPreviewDlg*>(modal);
      QVERIFY(dialog != nullptr);
      formatted = dialog->formattedView()->isVisible() &&
                  !dialog->preview().formatted.html.empty();
      for (int row = 0; row < dialog->attachmentList()->count(); ++row) {
        files << dialog->attachmentList()->item(row)->text();
      }
      dialog->closeButton()->click();
    }});
    QVERIFY(frame->RouteCommand(commands::kPreview));
    QCOMPARE(preview.acted(), 1);
  }
  QVERIFY(formatted);
  // The file, never the HTML part.
  QCOMPARE(files.size(), 1);
  QVERIFY2(files.front().startsWith(QStringLiteral("programme.pdf (application/pdf")),
           qPrintable(files.front()));

  app.document().UnselectAll();
  app.document().ToggleEntrySelection(0);
  {
    ModalScript end({[](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      QVERIFY(box != nullptr);
      box->button(QMessageBox::Ok)->click();
    }});
    QVERIFY(frame->RouteCommand(commands::kSend));
    QCOMPARE(end.acted(), 1);
  }
  QCOMPARE(server.MessageCount(), 1);
  const std::string received =
      Bytes(env_->Write(QStringLiteral("sent.eml"), QByteArray::fromStdString(server.Message(1))));
  const std::string outline = MimeOutlineByPython(received);
  QVERIFY2(outline.rfind("multipart/mixed\n  multipart/alternative\n    text/plain", 0) == 0,
           outline.c_str());
  QCOMPARE(AttachmentsParsedByPython(received),
           "programme.pdf\tapplication/pdf\t" + std::to_string(programme.size()) + "\t" +
               Sha256Hex(programme.toStdString()) + "\n");

  QVERIFY(frame->RouteCommand(commands::kFileSave));
  QVERIFY(ReadBytes(env_->File(QStringLiteral("example.prj"))).contains("MessageFormat=markdown"));
  QVERIFY(frame->close());
}

QTEST_MAIN(LetterOptionsCommandTest)
#include "letter_options_command_test.moc"
