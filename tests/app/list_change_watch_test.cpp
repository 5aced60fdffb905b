// The window and a mailing list another program saves while the project is
// open: real files, the real program, offscreen.

#include <QAbstractItemModelTester>
#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>

#include <stdio.h>

#include <memory>

#include "app/command_ids.h"
#include "app/list_change_watch.h"
#include "app_test_support.h"
#include "project/postridr_doc.h"
#include "views/message_bar.h"
#include "views/project_view.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

const QString kBarText = QStringLiteral("The mailing list has changed since the project was opened.");

const QByteArray kNewList =
    "FirstName\tLastName\tEmail\tCity\tMemberSince\n"
    "Hedy\tLamarr\thedy@example.com\tVienna\t2024\n"
    "Katherine\tJohnson\tkatherine@example.org\tHampton\t2024\n"
    "Lynn\tConway\tlynn@example.com\tAnn Arbor\t2024\n";

enum class Write { InPlace, ByRename };

// Keeps the text of the box it closes with OK.
ModalDriver::Action ReadBoxAndOk(QString& text) {
  return [&text](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) text = box->text();
    ClickButton(QStringLiteral("OK"))(modal);
  };
}

}  // namespace

class ListChangeWatchTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void AListSavedElsewhereShowsTheBarAndOpenAgainShowsItsNewRows_data();
  void AListSavedElsewhereShowsTheBarAndOpenAgainShowsItsNewRows();
  void OpenAgainOnAModifiedProjectAsksToSaveFirst_data();
  void OpenAgainOnAModifiedProjectAsksToSaveFirst();
  void AnUnchangedListShowsNoBarWhateverElseTheFolderSees();
  void QueryAndPreviewAreRefusedOnAChangedListButTheMarksStillWork();
  void ADismissedBarStaysAwayUntilTheProjectOpensAgain();
  void AListThatCannotBeReadSaysSoAndWhy_data();
  void AListThatCannotBeReadSaysSoAndWhy();

 private:
  CMainFrame* frame() const { return app_->mainFrame(); }
  MessageBar* bar() const { return frame()->listChangedBar(); }
  QString List() const { return env_->File(QStringLiteral("recipients.txt")); }
  void WriteList(const QByteArray& bytes, Write how) const;
  // As the window gets when the user comes back to it.
  void Activate() const {
    QEvent activate(QEvent::WindowActivate);
    QApplication::sendEvent(frame(), &activate);
  }
  QString FirstName(int row) const {
    QAbstractItemModel* model = frame()->projectView()->entryModel();
    return model->data(model->index(row, 1)).toString();
  }

  std::unique_ptr<DesktopTestEnvironment> env_;
  std::unique_ptr<CPostridrApp> app_;
};

void ListChangeWatchTest::init() {
  env_ = ExampleProjectEnvironment();
  QVERIFY(StartShown(app_));
  QCOMPARE(app_->document().GetEntryCount(), 12);
}

void ListChangeWatchTest::cleanup() {
  if (app_ && frame() != nullptr) app_->document().SetModifiedFlag(false);
  app_.reset();
  env_.reset();
}

void ListChangeWatchTest::WriteList(const QByteArray& bytes, Write how) const {
  if (how == Write::InPlace) {
    QFile file(List());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(bytes), bytes.size());
    return;
  }
  // As a spreadsheet saves: a new file beside it, renamed over it.
  const QString fresh = env_->Write(QStringLiteral(".~recipients.txt"), bytes);
  QCOMPARE(::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(List()).constData()), 0);
}

void ListChangeWatchTest::AListSavedElsewhereShowsTheBarAndOpenAgainShowsItsNewRows_data() {
  QTest::addColumn<Write>("how");
  QTest::newRow("written in place") << Write::InPlace;
  QTest::newRow("replaced by rename") << Write::ByRename;
}

void ListChangeWatchTest::AListSavedElsewhereShowsTheBarAndOpenAgainShowsItsNewRows() {
  QFETCH(Write, how);
  QAbstractItemModelTester tester(frame()->projectView()->entryModel(),
                                  QAbstractItemModelTester::FailureReportingMode::QtTest);
  QVERIFY(!bar()->isVisible());
  QCOMPARE(FirstName(0), QStringLiteral("Ada"));

  WriteList(kNewList, how);
  // The file system's note alone, without the window being activated.
  QTRY_VERIFY(bar()->isVisible());
  QCOMPARE(bar()->text(), kBarText);
  QCOMPARE(bar()->accessibleName(), QStringLiteral("Mailing list changed"));
  QCOMPARE(bar()->accessibleDescription(), kBarText);
  QPushButton* openAgain = bar()->actionButton();
  QVERIFY(openAgain->isVisible() && openAgain->isEnabled());
  QCOMPARE(openAgain->accessibleName(), QStringLiteral("Open Again"));
  QVERIFY(openAgain->focusPolicy() & Qt::TabFocus);
  QVERIFY(bar()->closeButton()->focusPolicy() & Qt::TabFocus);
  QVERIFY(!bar()->closeButton()->accessibleName().isEmpty());

  // A project with nothing to save opens again at once.
  app_->document().SetModifiedFlag(false);
  ModalScript none({[](QWidget* modal) { modal->close(); }});
  openAgain->click();
  QCOMPARE(none.acted(), 0);
  QVERIFY(!bar()->isVisible());
  QCOMPARE(app_->document().GetEntryCount(), 3);
  QCOMPARE(frame()->projectView()->entryModel()->rowCount(), 3);
  QCOMPARE(FirstName(0), QStringLiteral("Hedy"));
  QCOMPARE(FirstName(2), QStringLiteral("Lynn"));
  QVERIFY(app_->document().CheckListUnchanged());

  // The list opened again is watched in turn, however the last save came.
  WriteList(kNewList + "Ada\tLovelace\tada@example.com\tLondon\t2019\n", Write::InPlace);
  QTRY_VERIFY(bar()->isVisible());
}

void ListChangeWatchTest::OpenAgainOnAModifiedProjectAsksToSaveFirst_data() {
  QTest::addColumn<QString>("answer");
  QTest::addColumn<bool>("reopened");
  QTest::newRow("not saved") << QStringLiteral("No") << true;
  QTest::newRow("cancelled") << QStringLiteral("Cancel") << false;
}

void ListChangeWatchTest::OpenAgainOnAModifiedProjectAsksToSaveFirst() {
  QFETCH(QString, answer);
  QFETCH(bool, reopened);
  app_->document().SetModifiedFlag(true);
  WriteList(kNewList, Write::ByRename);
  Activate();
  QVERIFY(bar()->isVisible());

  QString question;
  ModalScript asked({[&](QWidget* modal) {
    if (auto* box = qobject_cast<QMessageBox*>(modal)) question = box->text();
    ClickButton(answer)(modal);
  }});
  bar()->actionButton()->click();
  QCOMPARE(asked.acted(), 1);
  QVERIFY2(question.startsWith(QStringLiteral("Save changes to example.prj")), qPrintable(question));
  QCOMPARE(app_->document().GetEntryCount(), reopened ? 3 : 12);
  QCOMPARE(FirstName(0), reopened ? QStringLiteral("Hedy") : QStringLiteral("Ada"));
  QCOMPARE(bar()->isVisible(), !reopened);
  // Cancelled, the project stays as it was, changes and all.
  if (!reopened) QVERIFY(app_->document().IsModified());
}

void ListChangeWatchTest::AnUnchangedListShowsNoBarWhateverElseTheFolderSees() {
  const QByteArray same = ReadBytes(List());
  QSignalSpy checked(&frame()->listWatch(), &ListChangeWatch::checked);
  // Saved again by rename with the very bytes it held: the core finds them the same.
  WriteList(same, Write::ByRename);
  QVERIFY(checked.wait(10000) || !checked.isEmpty());
  QCOMPARE(checked.last().at(0).toBool(), false);
  QVERIFY(!bar()->isVisible());
  // The file renamed in is the one watched from here on.
  QVERIFY(frame()->listWatch().watchedPaths().contains(List()));
  WriteList(kNewList, Write::InPlace);
  QTRY_VERIFY(bar()->isVisible());
  // Put back as it was: there is nothing left to warn of.
  WriteList(same, Write::ByRename);
  Activate();
  QVERIFY(!bar()->isVisible());

  // The project saved beside its list and another file written there.
  app_->document().SetModifiedFlag(true);
  QVERIFY(frame()->RouteCommand(commands::kFileSave));
  env_->Write(QStringLiteral("notes.txt"), "not a list\n");
  Activate();
  QVERIFY(!bar()->isVisible());
  QVERIFY(frame()->listWatch().CheckNow());
  QVERIFY(!frame()->listWatch().changed());
}

void ListChangeWatchTest::QueryAndPreviewAreRefusedOnAChangedListButTheMarksStillWork() {
  WriteList(kNewList, Write::InPlace);
  Activate();
  QVERIFY(bar()->isVisible());

  for (int id : {commands::kSelectOnQuery, commands::kPreview}) {
    QString refusal;
    ModalScript refused({ReadBoxAndOk(refusal)});
    QVERIFY(frame()->RouteCommand(id));
    QCOMPARE(refused.acted(), 1);
    QVERIFY2(refusal.contains(QStringLiteral("has changed since the project was opened")) &&
                 refusal.contains(QStringLiteral("Open the project again")),
             qPrintable(refusal));
  }

  // Marks are by position and read no row: they go on as before.
  ModalScript none({[](QWidget* modal) { modal->close(); }});
  QVERIFY(frame()->RouteCommand(commands::kUnselectAll));
  QCOMPARE(app_->document().GetSelectedCount(), 0);
  QVERIFY(frame()->RouteCommand(commands::kSelectAll));
  QCOMPARE(app_->document().GetSelectedCount(), 12);
  QCOMPARE(none.acted(), 0);
  QVERIFY(bar()->isVisible());
}

void ListChangeWatchTest::ADismissedBarStaysAwayUntilTheProjectOpensAgain() {
  WriteList(kNewList, Write::ByRename);
  QTRY_VERIFY(bar()->isVisible());
  bar()->closeButton()->click();
  QVERIFY(!bar()->isVisible());

  // Told once: another save and the user coming back bring no second bar.
  WriteList(kNewList + "Lynn\tConway\tlynn@example.com\tAnn Arbor\t2024\n", Write::InPlace);
  Activate();
  QVERIFY(frame()->listWatch().changed());
  QVERIFY(!bar()->isVisible());

  app_->document().SetModifiedFlag(false);
  QVERIFY(frame()->RouteCommand(commands::kFileReopen));
  QCOMPARE(app_->document().GetEntryCount(), 4);
  QVERIFY(!bar()->isVisible());
  WriteList(kNewList, Write::InPlace);
  QTRY_VERIFY(bar()->isVisible());
}

enum class Loss { FolderDeleted, FileDeleted, ChangedThenFolderDeleted };

void ListChangeWatchTest::AListThatCannotBeReadSaysSoAndWhy_data() {
  QTest::addColumn<Loss>("loss");
  QTest::newRow("its folder deleted") << Loss::FolderDeleted;
  QTest::newRow("the file deleted") << Loss::FileDeleted;
  QTest::newRow("changed, then its folder deleted") << Loss::ChangedThenFolderDeleted;
}

void ListChangeWatchTest::AListThatCannotBeReadSaysSoAndWhy() {
  QFETCH(Loss, loss);
  // The project keeps its list in a folder of its own, which can go while
  // the project stays open.
  const QString folder = env_->File(QStringLiteral("lists"));
  QVERIFY(QDir().mkpath(folder));
  const QString list = folder + QStringLiteral("/recipients.txt");
  QVERIFY(QFile::copy(List(), list));
  QByteArray project = ReadBytes(env_->File(QStringLiteral("example.prj")));
  project.replace("DBFile=recipients.txt", "DBFile=lists/recipients.txt")
      .replace("HelperFile=example.prh", "HelperFile=lists-apart.prh");
  const QString projectPath = env_->Write(QStringLiteral("lists-apart.prj"), project);
  app_->document().SetModifiedFlag(false);
  QString notice;
  ModalScript opening({ReadBoxAndOk(notice)});
  const CPostridrApp::OpenResult opened = app_->OpenDocumentFile(Bytes(projectPath));
  QVERIFY2(opened == CPostridrApp::OpenResult::Opened, qPrintable(notice));
  QCOMPARE(app_->document().GetEntryCount(), 12);
  QVERIFY(!bar()->isVisible());

  if (loss == Loss::ChangedThenFolderDeleted) {
    QFile file(list);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(file.write(kNewList), kNewList.size());
    file.close();
    QTRY_VERIFY(bar()->isVisible());
    QCOMPARE(bar()->text(), kBarText);
  }
  if (loss == Loss::FileDeleted) {
    QVERIFY(QFile::remove(list));
  } else {
    QVERIFY(QDir(folder).removeRecursively());
  }
  // The file system's note alone, without the window being activated.
  QTRY_VERIFY(bar()->isVisible() && bar()->text() != kBarText);
  const QString text = bar()->text();
  QVERIFY2(text.contains(QStringLiteral("Cannot open the mailing list ") + list) &&
               text.contains(QStringLiteral("No such file or directory")) &&
               !text.contains(QStringLiteral("has changed")),
           qPrintable(text));
  QCOMPARE(bar()->accessibleName(), QStringLiteral("Mailing list cannot be read"));
  QCOMPARE(bar()->accessibleDescription(), text);
  // What it shows stays as read, and the send is refused with the same reason.
  QCOMPARE(app_->document().GetEntryCount(), 12);
  QString refusal;
  ModalScript refused({ReadBoxAndOk(refusal)});
  QVERIFY(frame()->RouteCommand(commands::kPreview));
  QCOMPARE(refused.acted(), 1);
  QVERIFY2(refusal.contains(QStringLiteral("No such file or directory")), qPrintable(refusal));
}

QTEST_MAIN(ListChangeWatchTest)
#include "list_change_watch_test.moc"
