#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QToolBar>
#include <QToolButton>

#include "app/command_ids.h"
#include "app_test_support.h"
#include "views/message_view.h"
#include "views/project_view.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

QAccessibleInterface* Accessible(QObject* object) {
  return QAccessible::queryAccessibleInterface(object);
}

}  // namespace

// The window as a screen reader reads it, through Qt's accessibility
// interfaces. Qt tells assistive technology of changes only on a platform
// with a screen reader's bridge, which the offscreen one lacks: that part,
// and the whole window once more, are read from the real program through
// AT-SPI by tests/app/accessibility_atspi_test.py.
class AccessibleWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void StatusPanesAreReadByTheirText();
  void TheToComboIsNamedToAndGivesTheChosenFieldAsItsValue();
  void TheListIsATableWhoseCellsCarryTheirColumnsName();
  void EveryToolbarControlIsNamed();

 private:
  CMainFrame* frame() const { return app_->mainFrame(); }

  std::unique_ptr<DesktopTestEnvironment> env_;
  std::unique_ptr<CPostridrApp> app_;
};

void AccessibleWindowTest::init() {
  env_ = std::make_unique<DesktopTestEnvironment>();
  env_->CopyExampleProject();
  WriteCurrentProjectFile(Bytes(env_->File(QStringLiteral("example.prj"))));
  app_ = std::make_unique<CPostridrApp>();
  QVERIFY(StartAndWait(*app_));
  QVERIFY(QTest::qWaitForWindowExposed(frame()));
}

void AccessibleWindowTest::cleanup() {
  if (app_ && frame() != nullptr) app_->document().SetModifiedFlag(false);
  app_.reset();
  env_.reset();
}

void AccessibleWindowTest::StatusPanesAreReadByTheirText() {
  QLabel* selection = frame()->statusPane(1);
  QAccessibleInterface* pane = Accessible(selection);
  QVERIFY(pane != nullptr);
  QCOMPARE(pane->text(QAccessible::Name), QStringLiteral("12 Selected"));
  QCOMPARE(pane->text(QAccessible::Description), QStringLiteral("Selection and send progress"));
  QCOMPARE(Accessible(frame()->statusPane(0))->text(QAccessible::Name), QStringLiteral("Ready"));

  frame()->RouteCommand(commands::kUnselectAll);
  QCOMPARE(pane->text(QAccessible::Name), QStringLiteral("0 Selected"));
  frame()->SetStatusText("Connecting...");
  QCOMPARE(pane->text(QAccessible::Name), QStringLiteral("Connecting..."));
}

void AccessibleWindowTest::TheToComboIsNamedToAndGivesTheChosenFieldAsItsValue() {
  QComboBox* to = frame()->messageView()->toCombo();
  QAccessibleInterface* combo = Accessible(to);
  QCOMPARE(combo->role(), QAccessible::ComboBox);
  QCOMPARE(combo->text(QAccessible::Name), QStringLiteral("To"));
  QCOMPARE(combo->text(QAccessible::Value), QStringLiteral("Email"));
  QCOMPARE(combo->textInterface()->text(0, -1), QStringLiteral("Email"));
  QCOMPARE(Accessible(frame()->messageView()->subjectEdit())->text(QAccessible::Name),
           QStringLiteral("Subject"));

  to->setCurrentIndex(to->findText(QStringLiteral("City")));
  QCOMPARE(combo->text(QAccessible::Name), QStringLiteral("To"));
  QCOMPARE(combo->text(QAccessible::Value), QStringLiteral("City"));
}

void AccessibleWindowTest::TheListIsATableWhoseCellsCarryTheirColumnsName() {
  QAbstractItemView* list = frame()->projectView()->entryList();
  QAccessibleInterface* table = Accessible(list);
  QCOMPARE(table->role(), QAccessible::Table);
  QAccessibleTableInterface* cells = table->tableInterface();
  QVERIFY(cells != nullptr);
  QCOMPARE(cells->rowCount(), 12);
  QAccessibleTableCellInterface* email = cells->cellAt(0, 3)->tableCellInterface();
  QCOMPARE(cells->cellAt(0, 3)->text(QAccessible::Name), QStringLiteral("ada.lovelace@example.com"));
  QCOMPARE(email->columnHeaderCells().value(0)->text(QAccessible::Name), QStringLiteral("Email"));
  QCOMPARE(cells->cellAt(0, 0)->text(QAccessible::Name), QStringLiteral("selected, not sent"));

  // A click changes what the row reads.
  const QRect place = list->visualRect(list->model()->index(0, 1));
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, place.center());
  QCOMPARE(cells->cellAt(0, 0)->text(QAccessible::Name), QStringLiteral("not selected, not sent"));
  QCOMPARE(cells->cellAt(0, 1)->text(QAccessible::Description),
           QStringLiteral("not selected, not sent"));
}

void AccessibleWindowTest::EveryToolbarControlIsNamed() {
  QToolBar* bar = frame()->toolBar();
  int named = 0;
  for (QAction* action : bar->actions()) {
    if (action->isSeparator()) continue;
    QWidget* control = bar->widgetForAction(action);
    QVERIFY(control != nullptr);
    const QString name = Accessible(control)->text(QAccessible::Name);
    QVERIFY2(!name.isEmpty() && !name.contains(QLatin1Char('&')), qPrintable(action->text()));
    ++named;
  }
  QCOMPARE(named, 8);
}

QTEST_MAIN(AccessibleWindowTest)
#include "accessible_window_test.moc"
