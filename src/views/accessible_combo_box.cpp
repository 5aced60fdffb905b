#include "views/accessible_combo_box.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>

namespace postrider {

namespace {

// What Qt's own interface for combo boxes does, but for the name, and with
// the shown text readable through the text interface.
class AccessibleComboBox : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  explicit AccessibleComboBox(QComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    // An editable one has its line edit as a child, which carries the text.
    if (type == QAccessible::TextInterface && !combo()->isEditable()) {
      return static_cast<QAccessibleTextInterface*>(this);
    }
    return QAccessibleWidget::interface_cast(type);
  }

  QString text(QAccessible::Text which) const override {
    if (which == QAccessible::Value) return Shown();
    if (which == QAccessible::Name) {
      const QString name = QAccessibleWidget::text(QAccessible::Name);
      // A combo box with no name at all is better heard by its value than not at all.
      return name.isEmpty() ? Shown() : name;
    }
    return QAccessibleWidget::text(which);
  }

  int childCount() const override { return combo()->isEditable() ? 2 : 1; }

  QAccessibleInterface* child(int index) const override {
    if (index == 0) return QAccessible::queryAccessibleInterface(combo()->view());
    if (index == 1 && combo()->isEditable()) {
      return QAccessible::queryAccessibleInterface(combo()->lineEdit());
    }
    return nullptr;
  }

  int indexOfChild(const QAccessibleInterface* child) const override {
    if (child == nullptr) return -1;
    if (child->object() == combo()->view()) return 0;
    if (combo()->isEditable() && child->object() == combo()->lineEdit()) return 1;
    return -1;
  }

  QAccessibleInterface* childAt(int x, int y) const override {
    if (combo()->isEditable() && combo()->lineEdit()->rect().contains(x, y)) return child(1);
    return nullptr;
  }

  QStringList actionNames() const override { return {showMenuAction(), pressAction()}; }

  void doAction(const QString& action) override {
    if (action != showMenuAction() && action != pressAction()) {
      QAccessibleWidget::doAction(action);
      return;
    }
    if (combo()->view()->isVisible()) {
      combo()->hidePopup();
    } else {
      combo()->showPopup();
    }
  }

  QStringList keyBindingsForAction(const QString&) const override { return {}; }

  // The text interface: the shown text, read only.
  void selection(int, int* start, int* end) const override { *start = *end = 0; }
  int selectionCount() const override { return 0; }
  void addSelection(int, int) override {}
  void removeSelection(int) override {}
  void setSelection(int, int, int) override {}
  int cursorPosition() const override { return 0; }
  void setCursorPosition(int) override {}
  QString text(int start, int end) const override {
    return Shown().mid(start, end < 0 ? -1 : end - start);
  }
  int characterCount() const override { return static_cast<int>(Shown().size()); }
  QRect characterRect(int) const override { return {}; }
  int offsetAtPoint(const QPoint&) const override { return -1; }
  void scrollToSubstring(int, int) override {}
  QString attributes(int, int* start, int* end) const override {
    *start = 0;
    *end = characterCount();
    return {};
  }

 private:
  QComboBox* combo() const { return static_cast<QComboBox*>(object()); }
  QString Shown() const {
    return combo()->isEditable() ? combo()->lineEdit()->text() : combo()->currentText();
  }
};

QAccessibleInterface* ComboBoxFactory(const QString& className, QObject* object) {
  if (className != QLatin1String("QComboBox")) return nullptr;
  auto* combo = qobject_cast<QComboBox*>(object);
  return combo != nullptr ? new AccessibleComboBox(combo) : nullptr;
}

}  // namespace

void InstallAccessibleComboBoxes() {
  static const bool installed = [] {
    // Factories installed later are asked first, so this one comes before Qt's own.
    QAccessible::installFactory(ComboBoxFactory);
    return true;
  }();
  (void)installed;
}

}  // namespace postrider
