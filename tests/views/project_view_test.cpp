#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QAccessibleInterface>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <memory>

#include "qt_support/modal_driver.h"
#include "qt_support/test_environment.h"
#include "qt_support/tip_text.h"
#include "views/entry_list_model.h"
#include "views/entry_list_view.h"
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
  void KeysMoveTheFramedCurrentRowWithoutTogglingAndSpaceToggles();
  void ShowEntryMakesTheRowCurrentAndVisibleWithoutToggling();
  void HeldChangesWaitAndThenShowTheLatestRowAndEveryChangedMark();
  void BulkChangesRedrawTheVisibleRowsOnceWithoutRowSignals();
  void AMessageBoxWhileAProjectIsHalfLoadedShowsNoStaleRows();
  void TheListIsATableWithColumnHeadersForAssistiveTechnology();
  void AListWithoutFieldsShowsNoColumnsAndNoRows();
  void AValueShowsInItsTipAsItIsNeverAsMarkup();

 private:
  EntryListModel& model() { return *static_cast<EntryListModel*>(view->entryModel()); }
  EntryListView& list() { return *static_cast<EntryListView*>(view->entryList()); }
  void ShowView(int width = 600, int height = 300) {
    view->resize(width, height);
    view->show();
    QVERIFY(QTest::qWaitForWindowExposed(view.get()));
  }
  QPoint CellCenter(int row, int column = 1) {
    return view->entryList()->visualRect(model().index(row, column)).center();
  }
  void Click(int row, int column = 1) {
    QTest::mouseClick(view->entryList()->viewport(), Qt::LeftButton, {}, CellCenter(row, column));
  }
  int CurrentRow() { return view->entryList()->currentIndex().row(); }

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
  QCOMPARE(view->entryModel()->columnCount(), 4);  // the mark, then Name, Email, City
  Click(2);
  document->SelectAll();
  document->SetEntryStatus(5, StatusSent);
  view->HoldChanges([] {});
  document->SetEntryStatus(6, StatusSent);
  view->ReleaseChanges();
  QVERIFY(Open(*document, WriteProject(*env, "second", "A\tB\nx\ty\n1\t2\n3\t4\n")));
  QCOMPARE(view->entryModel()->rowCount(), 3);
  QCOMPARE(view->entryModel()->columnCount(), 3);
  document->DeleteContents();
  QCOMPARE(view->entryModel()->rowCount(), 0);
}

void ProjectViewTest::ClickTogglesTheRowTheSelectedCountAndTheModifiedFlag() {
  ShowView();
  QVERIFY(Open(*document, WriteProject(*env, "p", NumberedList(5))));
  document->SetModifiedFlag(false);
  const QRect row1 = RowRect(*view, 1);
  QCOMPARE(DarkPixels(Grab(*view), row1), 0);  // unselected: fainter text only

  Click(1);
  QCOMPARE(document->IsEntrySelected(1), 1);
  QCOMPARE(document->GetSelectedCount(), 1);
  QCOMPARE(frame.counts.back(), 1L);
  QVERIFY(document->IsModified());
  QCOMPARE(CurrentRow(), 1);
  QTRY_VERIFY(DarkPixels(Grab(*view), row1) > 0);  // selected: the palette's own text
  QCOMPARE(DarkPixels(Grab(*view), RowRect(*view, 0)), 0);

  // The same row again, in another column, and the entry goes back.
  Click(1, 3);
  QCOMPARE(document->IsEntrySelected(1), 0);
  QCOMPARE(document->GetSelectedCount(), 0);
  QTRY_COMPARE(DarkPixels(Grab(*view), row1), 0);

  // A click below the last row, or on the header, picks nothing.
  const int before = static_cast<int>(frame.counts.size());
  QTest::mouseClick(view->entryList()->viewport(), Qt::LeftButton, {},
                    QPoint(100, view->entryList()->viewport()->height() - 3));
  QHeaderView* header = view->headerStrip();
  QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                    QPoint(header->sectionViewportPosition(2) + 20, header->height() / 2));
  QCOMPARE(static_cast<int>(frame.counts.size()), before);
  QCOMPARE(CurrentRow(), 1);

  // Opened only to be looked at: a click or Space changes no mark and leaves
  // nothing to save.
  document->SetProjectAccess(ProjectAccess::ReadOnly);
  QVERIFY(Open(*document, WriteProject(*env, "look", NumberedList(5))));
  QVERIFY(document->IsReadOnly());
  document->SetModifiedFlag(false);
  const int wasSelected = document->IsEntrySelected(2);
  Click(2);
  QTest::keyClick(view->entryList(), Qt::Key_Space);
  QCOMPARE(document->IsEntrySelected(2), wasSelected);
  QVERIFY(!document->IsModified());
}

void ProjectViewTest::KeysMoveTheFramedCurrentRowWithoutTogglingAndSpaceToggles() {
  ShowView();
  QVERIFY(Open(*document, WriteProject(*env, "p", NumberedList(50), QByteArray(50, '\x80'))));
  view->entryList()->setFocus();
  QTRY_VERIFY(view->entryList()->hasFocus());
  const int selected = document->GetSelectedCount();
  Click(0);
  QCOMPARE(document->IsEntrySelected(0), 0);
  document->SetModifiedFlag(false);

  // Every way of moving the current row, and none changes a mark.
  struct Move {
    Qt::Key key;
    int row;  // where it lands; -1: a page further down, -2: a page back up
  };
  const Move moves[] = {{Qt::Key_Down, 1}, {Qt::Key_Down, 2},   {Qt::Key_Up, 1},
                        {Qt::Key_PageDown, -1}, {Qt::Key_PageUp, -2}, {Qt::Key_End, 49},
                        {Qt::Key_Down, 49}, {Qt::Key_Home, 0},   {Qt::Key_Up, 0},
                        {Qt::Key_Right, 0}, {Qt::Key_Left, 0},   {Qt::Key_Down, 1}};
  for (const Move& move : moves) {
    const int before = CurrentRow();
    QTest::keyClick(view->entryList(), move.key);
    const int after = CurrentRow();
    const bool landed = move.row >= 0 ? after == move.row
                                      : (move.row == -1 ? after > before + 1 : after < before - 1);
    QVERIFY2(landed, qPrintable(QStringLiteral("key %1: from row %2 to %3")
                                    .arg(move.key).arg(before).arg(after)));
    const QRect frameRect = list().CurrentRowRect();
    QVERIFY(view->entryList()->viewport()->rect().contains(frameRect.center()));
  }
  QCOMPARE(CurrentRow(), 1);
  QCOMPARE(document->GetSelectedCount(), selected - 1);
  QVERIFY(!document->IsModified());

  // The current row is framed in the highlight colour while the list has the keyboard.
  const QColor highlight = view->entryList()->palette().color(QPalette::Highlight);
  const QRect frameRect = list().CurrentRowRect().translated(
      view->entryList()->viewport()->mapTo(view.get(), QPoint(0, 0)));
  QTRY_VERIFY(IsColor(Grab(*view), frameRect.center().x(), frameRect.top() + 1, highlight));
  QVERIFY(!HasColor(Grab(*view), RowRect(*view, 3), highlight));

  // Space toggles the current row where it stands, and again.
  QTest::keyClick(view->entryList(), Qt::Key_Space);
  QCOMPARE(document->IsEntrySelected(1), 0);
  QCOMPARE(document->GetSelectedCount(), selected - 2);
  QVERIFY(document->IsModified());
  QTest::keyClick(view->entryList(), Qt::Key_Space);
  QCOMPARE(document->IsEntrySelected(1), 1);
  QCOMPARE(CurrentRow(), 1);
}

void ProjectViewTest::ShowEntryMakesTheRowCurrentAndVisibleWithoutToggling() {
  ShowView();
  QVERIFY(Open(*document, WriteProject(*env, "p", NumberedList(300))));
  const QRect viewport = view->entryList()->viewport()->rect();
  const int selected = document->GetSelectedCount();

  view->ShowEntry(250);
  QCOMPARE(CurrentRow(), 250);
  QVERIFY(viewport.contains(view->entryList()->visualRect(model().index(250, 1))));
  QCOMPARE(document->IsEntrySelected(250), 0);

  // The send run marks an entry: its row comes into view, its selection stays.
  document->SetEntryStatus(20, StatusSent);
  QCOMPARE(CurrentRow(), 20);
  QVERIFY(viewport.contains(view->entryList()->visualRect(model().index(20, 1))));
  QCOMPARE(document->IsEntrySelected(20), 0);
  QCOMPARE(document->GetSelectedCount(), selected);

  view->ShowEntry(300);  // past the last row: nothing happens
  view->ShowEntry(-1);
  QCOMPARE(CurrentRow(), 20);
}

void ProjectViewTest::HeldChangesWaitAndThenShowTheLatestRowAndEveryChangedMark() {
  ShowView();
  QVERIFY(Open(*document, WriteProject(*env, "p", NumberedList(400), QByteArray(400, '\x80'))));
  view->ShowEntry(0);
  QSignalSpy rowSignals(view->entryModel(), &QAbstractItemModel::dataChanged);
  int requests = 0;
  view->HoldChanges([&requests] { ++requests; });

  // A run goes through the list: nothing moves until the held changes are shown.
  for (int entry = 10; entry < 300; ++entry) document->SetEntryStatus(entry, StatusSent);
  QCOMPARE(requests, 2 * 290);  // each mark and each move asked to be shown
  QCOMPARE(CurrentRow(), 0);
  QCOMPARE(rowSignals.count(), 0);

  view->ShowHeldChanges();
  QCOMPARE(CurrentRow(), 299);
  QVERIFY(view->entryList()->viewport()->rect().contains(
      view->entryList()->visualRect(model().index(299, 1))));
  QCOMPARE(rowSignals.count(), 1);  // one signal covering every changed row
  QCOMPARE(rowSignals.at(0).at(0).toModelIndex().row(), 10);
  QCOMPARE(rowSignals.at(0).at(1).toModelIndex().row(), 299);

  // What comes after the last showing is shown when the hold ends.
  document->SetEntryStatus(350, StatusBadAddress);
  view->ReleaseChanges();
  QCOMPARE(CurrentRow(), 350);
  QCOMPARE(rowSignals.count(), 2);
  // And from then on each change shows at once.
  document->SetEntryStatus(360, StatusSent);
  QCOMPARE(CurrentRow(), 360);
  QCOMPARE(requests, 2 * 291);
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
  QVERIFY(DarkPixels(image, RowRect(*view, 0)) > 0);
  QVERIFY(DarkPixels(image, RowRect(*view, static_cast<int>(visibleRows) - 2)) > 0);

  // Toggling one entry signals that row alone.
  Click(3);
  QCOMPARE(rowSignals.count(), 1);
  QCOMPARE(rowSignals.at(0).at(0).toModelIndex().row(), 3);
  QCOMPARE(rowSignals.at(0).at(1).toModelIndex().row(), 3);
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
      QWidget* viewport = view->entryList()->viewport();
      const QRect rows(viewport->mapTo(view.get(), QPoint(0, 0)), viewport->size());
      const QColor base = viewport->palette().color(QPalette::Base);
      inkWhileShown = InkPixels(image, rows, base, base);
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

void ProjectViewTest::TheListIsATableWithColumnHeadersForAssistiveTechnology() {
  ShowView();
  QVERIFY(Open(*document,
               WriteProject(*env, "p", "Name\tEmail\tCity\nAnn Smith\tann@example.com\tLondon\n"
                                       "Bob\tbob@example.com\tLeeds\n",
                            QByteArray("\x81\x00", 2))));
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view->entryList());
  QVERIFY(list != nullptr);
  QCOMPARE(list->role(), QAccessible::Table);
  QCOMPARE(list->text(QAccessible::Name), QStringLiteral("Mailing list"));
  QAccessibleTableInterface* table = list->tableInterface();
  QVERIFY(table != nullptr);
  QCOMPARE(table->rowCount(), 2);
  QCOMPARE(table->columnCount(), 4);

  const QStringList headers = {"Status", "Name", "Email", "City"};
  for (int column = 0; column < 4; ++column) {
    QAccessibleTableCellInterface* cell = table->cellAt(0, column)->tableCellInterface();
    QVERIFY(cell != nullptr);
    const QList<QAccessibleInterface*> columnHeaders = cell->columnHeaderCells();
    QCOMPARE(columnHeaders.size(), 1);
    QCOMPARE(columnHeaders.front()->role(), QAccessible::ColumnHeader);
    QCOMPARE(columnHeaders.front()->text(QAccessible::Name), headers[column]);
  }

  const long long readsBefore = model().recordReads();
  QCOMPARE(table->cellAt(0, 0)->text(QAccessible::Name), QStringLiteral("selected, sent"));
  QCOMPARE(table->cellAt(0, 1)->text(QAccessible::Name), QStringLiteral("Ann Smith"));
  QCOMPARE(table->cellAt(0, 2)->text(QAccessible::Name), QStringLiteral("ann@example.com"));
  QCOMPARE(table->cellAt(0, 3)->text(QAccessible::Description), QStringLiteral("selected, sent"));
  QVERIFY(model().recordReads() > readsBefore);  // read when asked, not kept

  QCOMPARE(table->cellAt(1, 0)->text(QAccessible::Name), QStringLiteral("not selected, not sent"));
  Click(1);
  QCOMPARE(table->cellAt(1, 0)->text(QAccessible::Name), QStringLiteral("selected, not sent"));
  QCOMPARE(table->cellAt(1, 1)->text(QAccessible::Description),
           QStringLiteral("selected, not sent"));
}

void ProjectViewTest::AValueShowsInItsTipAsItIsNeverAsMarkup() {
  ShowView();
  const QStringList values = {QStringLiteral("<b>Ann</b> (verified)"),
                              QStringLiteral("<img src=\"/dev/zero\">"), QStringLiteral("Leeds")};
  QVERIFY(Open(*document, WriteProject(*env, "p", "Name\tEmail\tCity\n" + values.join('\t').toUtf8() +
                                                      "\n")));
  for (int field = 0; field < 3; ++field) {
    QCOMPARE(TipAsShown(model().index(0, field + 1).data(Qt::ToolTipRole).toString()),
             values[field]);
  }
}

void ProjectViewTest::AListWithoutFieldsShowsNoColumnsAndNoRows() {
  ShowView();
  QVERIFY(Open(*document, WriteProject(*env, "first", NumberedList(4))));
  QVERIFY(Open(*document, WriteProject(*env, "empty", QByteArray())));
  QCOMPARE(document->GetFieldCount(), 0);
  QCOMPARE(view->entryModel()->rowCount(), 0);
  QCOMPARE(view->entryModel()->columnCount(), 0);
  QCOMPARE(view->headerStrip()->count(), 0);
  const QImage image = Grab(*view);
  QWidget* viewport = view->entryList()->viewport();
  const QRect rows(viewport->mapTo(view.get(), QPoint(0, 0)), viewport->size());
  const QColor base = viewport->palette().color(QPalette::Base);
  QCOMPARE(InkPixels(image, rows, base, base), 0);
}

QTEST_MAIN(ProjectViewTest)
#include "project_view_test.moc"
