// Message > Letter Options... on the real program: the options reach the
// project, the format bar and Preview.
#include <QAction>
#include <QComboBox>
#include <QPushButton>

#include <memory>

#include "app/command_ids.h"
#include "app_test_support.h"
#include "dialogs/dialogs_test_support.h"
#include "dialogs/formatted_message_view.h"
#include "dialogs/letter_options_dlg.h"
#include "dialogs/preview_dlg.h"
#include "project/postridr_doc.h"
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
    env_ = std::make_unique<DesktopTestEnvironment>();
    env_->CopyExampleProject();
    WriteCurrentProjectFile(Bytes(env_->File(QStringLiteral("example.prj"))));
  }
  void cleanup() { env_.reset(); }

  void MarkdownChosenShowsTheFormatBarIsSavedAndPreviewsFormatted();

 private:
  std::unique_ptr<DesktopTestEnvironment> env_;
};

void LetterOptionsCommandTest::MarkdownChosenShowsTheFormatBarIsSavedAndPreviewsFormatted() {
  CPostridrApp app;
  QVERIFY(StartAndWait(app));
  CMainFrame* frame = app.mainFrame();
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
  {
    ModalScript preview({[&formatted](QWidget* modal) {
      auto* dialog = qobject_cast<CPreviewDlg*>(modal);
      QVERIFY(dialog != nullptr);
      formatted = dialog->formattedView()->isVisible() &&
                  !dialog->preview().formatted.html.empty();
      dialog->closeButton()->click();
    }});
    QVERIFY(frame->RouteCommand(commands::kPreview));
    QCOMPARE(preview.acted(), 1);
  }
  QVERIFY(formatted);

  QVERIFY(frame->RouteCommand(commands::kFileSave));
  QVERIFY(ReadBytes(env_->File(QStringLiteral("example.prj"))).contains("MessageFormat=markdown"));
  QVERIFY(frame->close());
}

QTEST_MAIN(LetterOptionsCommandTest)
#include "letter_options_command_test.moc"
