#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QAccessibleInterface>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "qt_support/modal_driver.h"
#include "qt_support/test_environment.h"
#include "views/entry_list_model.h"
#include "views/entry_row_delegate.h"
#include "views/project_view.h"
#include "views/project_view_test_support.h"

using namespace postrider;
using namespace postrider::testing;

class ProjectViewTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void ModelPassesTheItemModelTesterThroughOpensTogglesAndBulkChanges();
  void ClickTogglesTheRowTheSelectedCountAndTheModifiedFlag();
  void KeyboardMovesToggleEachRowTheyLandOn();
  void ShowEntryMakesTheRowCurrentAndVisibleWithoutToggling();
  void BulkChangesRedrawTheVisibleRowsOnceWithoutRowSignals();
  void AMessageBoxWhileAProjectIsHalfLoadedShowsNoStaleRows();
  void RowsGiveTheirValuesAndSelectionToAssistiveTechnology();
  void AListWithoutFieldsShowsAnEmptyGreyStripAndNoRows();

 private:
  EntryListModel& model() { return *static_cast<EntryListModel*>(view->entryModel()); }
  void ShowView(int width = 600, int height = 300) {
    view->resize(width, height);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));
  }
  QPoint RowCenter(int row) {
    return view->entryList()->visualRect(model().index(row, 0)).center();
  }
  void Click(int row) {
    QTest::mouseClick(view->entryList()->viewport(), Qt::LeftButton, {}, RowCenter(row));
  }

  std::unique_ptr<DesktopTestEnvironment> env;
  std::unique_ptr<CPostridrDoc> document;
  CountingFrame frame;
  TestPrompts prompts;
  std::unique_ptr<CProjectView> view;
};

void ProjectViewTest::init() {
  env = std::make_unique<DesktopTestEnvironment>();
  document = std::make_unique<CPostridrDoc>();
  frame = {};
  prompts.messages.clear();
  prompts.onMessage = nullptr;
  document->SetMainFrame(&frame);
  document->SetPrompts(&prompts);
  view = std::make_unique<CProjectView>(*document);
}

void ProjectViewTest::cleanup() {
  view.reset();
  document.reset();
  env.reset();
}

void ProjectViewTest::ModelPassesTheItemModelTesterThroughOpensTogglesAndBulkChanges() {
  QAbstractItemModelTester tester(view->entryModel(),
                                  QAbstractItemModelTester::FailureReportingMode::QtTest);
  ShowView();
  QVERIFY(Open(*document, WriteProject(*env, "first", NumberedList(40))));
  QCOMPARE(view->entryModel()->rowCount(), 40);
  Click(2);
  document->SelectAll();
  document->SetEntryStatus(5, StatusSent);
  QVERIFY(Open(*document, WriteProject(*env, "second", NumberedList(3))));
  QCOMPARE(view->entryModel()->rowCount(), 3);
  document->DeleteContents();
  QCOMPARE(view->entryModel()->rowCount(), 0);
}

void ProjectViewTest::ClickTogglesTheRowTheSelectedCountAndTheModifiedFlag() {
  ShowView();
  QVERIFY(Open(*document, WriteProject(*env, "p", NumberedList(5))));
  document->SetModifiedFlag(false);
  const QRect row1 = RowRect(*view, 1);
  QCOMPARE(DarkPixels(Grab(*view), row1), 0);  // unselected: light grey text only

  Click(1);
  QCOMPARE(document->IsEntrySelected(1), 1);
  QCOMPARE(document->GetSelectedCount(), 1);
  QCOMPARE(frame.counts.back(), 1L);
  QVERIFY(document->IsModified());
  QCOMPARE(view->entryList()->currentIndex().row(), 1);
  QTRY_VERIFY(DarkPixels(Grab(*view), row1) > 0);  // selected: black text
  QCOMPARE(DarkPixels(Grab(*view), RowRect(*view, 0)), 0);

  // The same row again, and the entry goes back.
  Click(1);
  QCOMPARE(document->IsEntrySelected(1), 0);
  QCOMPARE(document->GetSelectedCount(), 0);
  QTRY_COMPARE(DarkPixels(Grab(*view), row1), 0);

  // A click below the last row picks nothing.
  const int before = static_cast<int>(frame.counts.size());
  QTest::mouseClick(view->entryList()->viewport(), Qt::LeftButton, {},
                    QPoint(100, view->entryList()->viewport()->height() - 3));
  QCOMPARE(static_cast<int>(frame.counts.size()), before);
}

void ProjectViewTest::KeyboardMovesToggleEachRowTheyLandOn() {
  ShowView();
  QVERIFY(Open(*document, WriteProject(*env, "p", NumberedList(50))));
  Click(0);
  QCOMPARE(document->IsEntrySelected(0), 1);

  QTest::keyClick(view->entryList(), Qt::Key_Down);
  QCOMPARE(view->entryList()->currentIndex().row(), 1);
  QCOMPARE(document->IsEntrySelected(1), 1);
  QCOMPARE(document->IsEntrySelected(0), 1);  // the row left behind keeps its mark

  QTest::keyClick(view->entryList(), Qt::Key_Up);
  QCOMPARE(document->IsEntrySelected(0), 0);  // landed on again: toggled back

  QTest::keyClick(view->entryList(), Qt::Key_Up);  // already at the top: no move, no toggle
  QCOMPARE(document->IsEntrySelected(0), 0);

  QTest::keyClick(view->entryList(), Qt::Key_End);
  QCOMPARE(view->entryList()->currentIndex().row(), 49);
  QCOMPARE(document->IsEntrySelected(49), 1);
  QCOMPARE(document->GetSelectedCount(), 2);  // rows 1 and 49

  // Space toggles the current row where it stands.
  QTest::keyClick(view->entryList(), Qt::Key_Space);
  QCOMPARE(document->IsEntrySelected(49), 0);
  QCOMPARE(document->GetSelectedCount(), 1);
}

void ProjectViewTest::ShowEntryMakesTheRowCurrentAndVisibleWithoutToggling() {
  ShowView();
  QVERIFY(Open(*document, WriteProject(*env, "p", NumberedList(300))));
  const QRect viewport = view->entryList()->viewport()->rect();
  const int selected = document->GetSelectedCount();

  view->ShowEntry(250);
  QCOMPARE(view->entryList()->currentIndex().row(), 250);
  QVERIFY(viewport.contains(view->entryList()->visualRect(model().index(250, 0))));
  QCOMPARE(document->IsEntrySelected(250), 0);

  // The send run marks an entry: its row comes into view, its selection stays.
  document->SetEntryStatus(20, StatusSent);
  QCOMPARE(view->entryList()->currentIndex().row(), 20);
  QVERIFY(viewport.contains(view->entryList()->visualRect(model().index(20, 0))));
  QCOMPARE(document->IsEntrySelected(20), 0);
  QCOMPARE(document->GetSelectedCount(), selected);

  view->ShowEntry(300);  // past the last row: nothing happens
  view->ShowEntry(-1);
  QCOMPARE(view->entryList()->currentIndex().row(), 20);
}

void ProjectViewTest::BulkChangesRedrawTheVisibleRowsOnceWithoutRowSignals() {
  ShowView();
  QVERIFY(Open(*document, WriteProject(*env, "p", NumberedList(200), QByteArray(200, '\1'))));
  const EntryRowDelegate& delegate = *view->rowDelegate();
  QTRY_VERIFY(delegate.rowsPainted() > 0);
  QSignalSpy rowSignals(view->entryModel(), &QAbstractItemModel::dataChanged);
  const int viewportHeight = view->entryList()->viewport()->height();
  const int rowHeight = view->metrics().rowHeight;
  const long long visibleRows = (viewportHeight + rowHeight - 1) / rowHeight;

  const long long paintedBefore = delegate.rowsPainted();
  document->SelectAll();
  document->ClearStatus(0);
  QTRY_VERIFY(delegate.rowsPainted() > paintedBefore);
  QCOMPARE(delegate.rowsPainted() - paintedBefore, visibleRows);  // one pass for both
  QCOMPARE(rowSignals.count(), 0);
  const QImage image = Grab(*view);
  QVERIFY(DarkPixels(image, RowRect(*view, 0).adjusted(16, 0, 0, 0)) > 0);
  QVERIFY(DarkPixels(image, RowRect(*view, static_cast<int>(visibleRows) - 2)) > 0);

  // Toggling one entry signals that row alone.
  Click(3);
  QCOMPARE(rowSignals.count(), 1);
  QCOMPARE(rowSignals.at(0).at(0).toModelIndex().row(), 3);
}

void ProjectViewTest::AMessageBoxWhileAProjectIsHalfLoadedShowsNoStaleRows() {
  ShowView();
  QVERIFY(Open(*document, WriteProject(*env, "first", NumberedList(12), QByteArray(12, '\x81'))));
  QTRY_VERIFY(view->rowDelegate()->rowsPainted() > 0);

  // The next project's letter is missing: the document warns while it loads.
  const QString second = WriteProject(*env, "second", NumberedList(30), {}, false);
  int rowsWhileShown = -1;
  long long readsWhileShown = -1;
  int inkWhileShown = -1;
  prompts.onMessage = [&](const std::string& text) {
    const long long readsBefore = model().recordReads();
    ModalDriver driver([&](QWidget* modal) {
      rowsWhileShown = view->entryModel()->rowCount();
      view->entryList()->viewport()->repaint();  // as an exposure under the box would
      const QImage image = Grab(*view);
      inkWhileShown = InkPixels(image, QRect(1, view->metrics().stripHeight + 1, view->width() - 2,
                                             view->height() - view->metrics().stripHeight - 2));
      readsWhileShown = model().recordReads() - readsBefore;
      static_cast<QMessageBox*>(modal)->accept();
    });
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Postrider"), QString::fromStdString(text),
                    QMessageBox::Ok);
    QTimer::singleShot(20000, &box, &QMessageBox::reject);  // never hang the run
    box.exec();
    QVERIFY(driver.acted());
  };
  QVERIFY(Open(*document, second));

  QCOMPARE(prompts.messages.size(), size_t{1});
  QCOMPARE(rowsWhileShown, 0);
  QCOMPARE(readsWhileShown, 0LL);
  QCOMPARE(inkWhileShown, 0);
  QCOMPARE(view->entryModel()->rowCount(), 30);
}

void ProjectViewTest::RowsGiveTheirValuesAndSelectionToAssistiveTechnology() {
  ShowView();
  QVERIFY(Open(*document,
               WriteProject(*env, "p", "Name\tEmail\tCity\nAnn Smith\tann@example.com\tLondon\n"
                                       "Bob\tbob@example.com\tLeeds\n",
                            QByteArray("\x81\x00", 2))));
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view->entryList());
  QVERIFY(list != nullptr);
  QCOMPARE(list->text(QAccessible::Name), QStringLiteral("Mailing list"));
  QAccessibleTableInterface* table = list->tableInterface();
  QVERIFY(table != nullptr);
  QCOMPARE(table->rowCount(), 2);

  const long long readsBefore = model().recordReads();
  QAccessibleInterface* first = table->cellAt(0, 0);
  QVERIFY(first != nullptr);
  QCOMPARE(first->text(QAccessible::Name),
           QStringLiteral("Ann Smith, ann@example.com, London - selected, sent"));
  QCOMPARE(first->text(QAccessible::Description),
           QStringLiteral("Name: Ann Smith; Email: ann@example.com; City: London; selected, sent"));
  QVERIFY(model().recordReads() > readsBefore);  // read when asked, not kept

  QAccessibleInterface* second = table->cellAt(1, 0);
  QVERIFY(second != nullptr);
  QCOMPARE(second->text(QAccessible::Name),
           QStringLiteral("Bob, bob@example.com, Leeds - not selected, not sent"));
  Click(1);
  QCOMPARE(table->cellAt(1, 0)->text(QAccessible::Name),
           QStringLiteral("Bob, bob@example.com, Leeds - selected, not sent"));

  QAccessibleInterface* strip = QAccessible::queryAccessibleInterface(view->headerStrip());
  QVERIFY(strip != nullptr);
  QCOMPARE(strip->text(QAccessible::Name), QStringLiteral("List fields"));
  QCOMPARE(strip->text(QAccessible::Description), QStringLiteral("Name, Email, City"));
}

void ProjectViewTest::AListWithoutFieldsShowsAnEmptyGreyStripAndNoRows() {
  ShowView();
  QVERIFY(Open(*document, WriteProject(*env, "first", NumberedList(4))));
  QVERIFY(Open(*document, WriteProject(*env, "empty", QByteArray())));
  QCOMPARE(document->GetFieldCount(), 0);
  QCOMPARE(view->entryModel()->rowCount(), 0);
  const QImage image = Grab(*view);
  const int strip = view->metrics().stripHeight;
  for (int y = 0; y < strip; ++y) {
    for (int x = 0; x < view->width(); ++x) {
      QVERIFY2(IsColor(image, x, y, QColor(192, 192, 192)),
               qPrintable(QStringLiteral("strip pixel %1,%2").arg(x).arg(y)));
    }
  }
  QCOMPARE(InkPixels(image, QRect(1, strip + 1, view->width() - 2, view->height() - strip - 2)),
           0);
}

QTEST_MAIN(ProjectViewTest)
#include "project_view_test.moc"
