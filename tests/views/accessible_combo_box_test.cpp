#include <QAbstractItemView>
#include <QAccessible>
#include <QAccessibleInterface>
#include <QComboBox>
#include <QLabel>
#include <QTest>
#include <QVBoxLayout>

#include "views/accessible_combo_box.h"

using namespace postrider;

namespace {

QAccessibleInterface* Accessible(QObject* object) {
  return QAccessible::queryAccessibleInterface(object);
}

}  // namespace

class AccessibleComboBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { InstallAccessibleComboBoxes(); }
  void ACombosNameIsItsOwnAndItsTextIsItsValue_data();
  void ACombosNameIsItsOwnAndItsTextIsItsValue();
  void ItStillOpensItsList();
};

void AccessibleComboBoxTest::ACombosNameIsItsOwnAndItsTextIsItsValue_data() {
  QTest::addColumn<QString>("accessibleName");
  QTest::addColumn<QString>("label");
  QTest::addColumn<bool>("editable");
  QTest::addColumn<QString>("expectedName");
  QTest::newRow("its own name") << "Operator" << "" << false << "Operator";
  QTest::newRow("its own name before its label's") << "To" << "&To:" << false << "To";
  QTest::newRow("its label's text") << "" << "&Security:" << false << "Security:";
  QTest::newRow("nothing to go by: its value") << "" << "" << false << "equals";
  QTest::newRow("editable") << "Value" << "" << true << "Value";
}

void AccessibleComboBoxTest::ACombosNameIsItsOwnAndItsTextIsItsValue() {
  QFETCH(QString, accessibleName);
  QFETCH(QString, label);
  QFETCH(bool, editable);
  QFETCH(QString, expectedName);
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  auto* combo = new QComboBox(&window);
  combo->setEditable(editable);
  combo->addItems({QStringLiteral("equals"), QStringLiteral("does not equal")});
  combo->setAccessibleName(accessibleName);
  if (!label.isEmpty()) {
    auto* shown = new QLabel(label, &window);
    shown->setBuddy(combo);
    layout->addWidget(shown);
  }
  layout->addWidget(combo);
  window.show();
  QVERIFY(QTest::qWaitForWindowExposed(&window));

  QAccessibleInterface* accessible = Accessible(combo);
  QVERIFY(accessible != nullptr);
  QCOMPARE(accessible->role(), QAccessible::ComboBox);
  QCOMPARE(accessible->text(QAccessible::Name), expectedName);
  QCOMPARE(accessible->text(QAccessible::Value), QStringLiteral("equals"));
  combo->setCurrentIndex(1);
  QCOMPARE(accessible->text(QAccessible::Value), QStringLiteral("does not equal"));
  QCOMPARE(accessible->text(QAccessible::Name), expectedName == QStringLiteral("equals")
                                                    ? QStringLiteral("does not equal")
                                                    : expectedName);
  // The shown text for readers that ask for the text rather than the value.
  QAccessibleTextInterface* text = accessible->textInterface();
  if (editable) {
    QVERIFY(text == nullptr);
    QCOMPARE(accessible->childCount(), 2);
    QCOMPARE(accessible->child(1)->text(QAccessible::Value), QStringLiteral("does not equal"));
  } else {
    QVERIFY(text != nullptr);
    QCOMPARE(text->characterCount(), 14);
    QCOMPARE(text->text(0, -1), QStringLiteral("does not equal"));
    QCOMPARE(text->text(5, 8), QStringLiteral("not"));
  }
  QCOMPARE(accessible->child(0)->object(), combo->view());
  QCOMPARE(accessible->indexOfChild(accessible->child(0)), 0);
}

void AccessibleComboBoxTest::ItStillOpensItsList() {
  QComboBox combo;
  combo.addItems({QStringLiteral("None"), QStringLiteral("STARTTLS"), QStringLiteral("TLS")});
  combo.setAccessibleName(QStringLiteral("Security"));
  combo.show();
  QVERIFY(QTest::qWaitForWindowExposed(&combo));
  QAccessibleInterface* accessible = Accessible(&combo);
  QAccessibleActionInterface* actions = accessible->actionInterface();
  QVERIFY(actions != nullptr);
  QVERIFY(actions->actionNames().contains(QAccessibleActionInterface::showMenuAction()));
  actions->doAction(QAccessibleActionInterface::showMenuAction());
  QTRY_VERIFY(combo.view()->isVisible());
  actions->doAction(QAccessibleActionInterface::showMenuAction());
  QTRY_VERIFY(!combo.view()->isVisible());

  combo.setCurrentIndex(2);
  QCOMPARE(accessible->text(QAccessible::Value), QStringLiteral("TLS"));
  QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Security"));
}

QTEST_MAIN(AccessibleComboBoxTest)
#include "accessible_combo_box_test.moc"
