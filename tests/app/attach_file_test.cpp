#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QTest>

#include <memory>

#include "app/attach_file.h"
#include "app_test_support.h"
#include "send/attachment_lines.h"
#include "support/recording_views.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

// Types `name` into the file dialog's name field and confirms, as a user does.
void Choose(QWidget* modal, const QString& name) {
  auto* dialog = qobject_cast<QFileDialog*>(modal);
  QVERIFY(dialog != nullptr);
  auto* field = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  QVERIFY(field != nullptr);
  field->setText(name);
  static_cast<QDialog*>(dialog)->accept();
}

}  // namespace

class AttachFileTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    env = std::make_unique<DesktopTestEnvironment>();
    recorded = std::make_unique<RecordedDocument>();
    QVERIFY(recorded->Open(PathBytes(env->path()), TestProject("Name\tEmail\nAnn\tann@example.com\n")));
    QVERIFY(!recorded->messageView.body.empty());
  }
  void cleanup() {
    recorded.reset();
    env.reset();
  }

  void TheChosenFilesLinesGoAtTheStartOfTheLetter();
  void CancelAndAPathNoLineCanCarryInsertNothing();

 private:
  std::unique_ptr<DesktopTestEnvironment> env;
  std::unique_ptr<RecordedDocument> recorded;
};

void AttachFileTest::TheChosenFilesLinesGoAtTheStartOfTheLetter() {
  const QString first = env->Write(QStringLiteral("Übersicht 2026.pdf"), "%PDF-1.4");
  const QString second = env->Write(QStringLiteral("b [draft.txt"), "text");
  const std::string letter = recorded->messageView.body;
  ModalScript answers({
      [&](QWidget* modal) {
        // An Open dialog titled "Attach" for a file that exists, in the project's folder.
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        QVERIFY(dialog != nullptr);
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Attach"));
        QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptOpen);
        QCOMPARE(dialog->fileMode(), QFileDialog::ExistingFile);
        QCOMPARE(dialog->nameFilters(), QStringList{QStringLiteral("All Files (*)")});
        QCOMPARE(QDir(dialog->directory()).canonicalPath(), QDir(env->path()).canonicalPath());
        Choose(modal, QStringLiteral("Übersicht 2026.pdf"));
      },
  });
  AttachFile(recorded->document, recorded->prompts, nullptr);
  QCOMPARE(answers.acted(), 1);
  {
    ModalScript again({[&](QWidget* modal) { Choose(modal, second); }});
    AttachFile(recorded->document, recorded->prompts, nullptr);
    QCOMPARE(again.acted(), 1);
  }
  // The latest file first, each on a line of its own, the letter untouched after them.
  const std::string expected = "[[Attachment:  " + PathBytes(second) + "]]\r\n[[Attachment:  " +
                               PathBytes(first) + "]]\r\n" + letter;
  QCOMPARE(QString::fromStdString(recorded->messageView.body), QString::fromStdString(expected));
  QCOMPARE(AttachmentPathsAsWritten(recorded->messageView.body, {"Name", "Email"}),
           (std::vector<std::string>{PathBytes(second), PathBytes(first)}));
  QVERIFY(recorded->prompts.messages().empty());
}

void AttachFileTest::CancelAndAPathNoLineCanCarryInsertNothing() {
  const std::string letter = recorded->messageView.body;
  {
    ModalScript cancel({[](QWidget* modal) { static_cast<QDialog*>(modal)->reject(); }});
    AttachFile(recorded->document, recorded->prompts, nullptr);
    QCOMPARE(cancel.acted(), 1);
  }
  QCOMPARE(recorded->messageView.body, letter);
  QVERIFY(recorded->prompts.messages().empty());

  // A ']' would end the line early and send another file, or none.
  const QString bracketed = env->Write(QStringLiteral("a]b.pdf"), "%PDF-1.4");
  {
    ModalScript choose({[&](QWidget* modal) { Choose(modal, bracketed); }});
    AttachFile(recorded->document, recorded->prompts, nullptr);
    QCOMPARE(choose.acted(), 1);
  }
  QCOMPARE(recorded->messageView.body, letter);
  QVERIFY(recorded->prompts.ShowedMessageContaining("cannot be attached"));
}

QTEST_MAIN(AttachFileTest)
#include "attach_file_test.moc"
