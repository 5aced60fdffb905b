#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QMessageBox>
#include <QTest>

#include "app/qt_user_prompts.h"
#include "qt_support/modal_driver.h"
#include "qt_support/test_environment.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QStringList buttons;
  QString defaultButton;
};

// Notes what the box shows, then presses one of its buttons.
ModalDriver::Action Press(const QString& button, SeenBox& seen) {
  return [button, &seen](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box == nullptr) {
      modal->close();
      return;
    }
    seen.title = box->windowTitle();
    seen.text = box->text();
    seen.icon = box->icon();
    for (QAbstractButton* shown : box->buttons()) seen.buttons << shown->text().remove('&');
    seen.buttons.sort();
    if (box->defaultButton() != nullptr) seen.defaultButton = box->defaultButton()->text().remove('&');
    FindButton(box, button)->click();
  };
}

}  // namespace

class QtUserPromptsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
  void SavePromptNamesTheProjectAndGivesTheThreeChoices();
  void MessagesShowTheirTextAsItIsWithTheRightIcon();
  void YesNoQuestion();
  void SavePathGetsTheProjectExtensionAndCancelGivesNothing();

 private:
  DesktopTestEnvironment env_;
  QWidget parent_;
};

void QtUserPromptsTest::SavePromptNamesTheProjectAndGivesTheThreeChoices() {
  QtUserPrompts prompts(&parent_);
  const QList<std::pair<QString, SaveChoice>> answers = {
      {"Yes", SaveChoice::Yes}, {"No", SaveChoice::No}, {"Cancel", SaveChoice::Cancel}};
  for (const auto& [button, choice] : answers) {
    SeenBox seen;
    ModalDriver driver(Press(button, seen));
    QCOMPARE(prompts.AskSaveChanges("june.prj"), choice);
    QCOMPARE(seen.title, QStringLiteral("Postrider"));
    QCOMPARE(seen.text, QStringLiteral("Save changes to june.prj?"));
    QCOMPARE(seen.buttons, QStringList({"Cancel", "No", "Yes"}));
    QCOMPARE(seen.defaultButton, QStringLiteral("Yes"));
  }
}

void QtUserPromptsTest::MessagesShowTheirTextAsItIsWithTheRightIcon() {
  QtUserPrompts prompts(&parent_);
  const QList<std::pair<MessageIcon, QMessageBox::Icon>> icons = {
      {MessageIcon::None, QMessageBox::NoIcon},
      {MessageIcon::Information, QMessageBox::Information},
      {MessageIcon::Warning, QMessageBox::Warning},
      {MessageIcon::Error, QMessageBox::Critical},
  };
  for (const auto& [icon, boxIcon] : icons) {
    SeenBox seen;
    ModalDriver driver(Press(QStringLiteral("OK"), seen));
    // A list value with markup and a Latin-1 letter, as a file might hold them.
    prompts.ShowMessage("Cannot read <b>caf\xe9</b>.txt", icon);
    QCOMPARE(seen.icon, boxIcon);
    QCOMPARE(seen.text, QStringLiteral("Cannot read <b>caf\u00e9</b>.txt"));
    QCOMPARE(seen.buttons, QStringList({"OK"}));
  }
  SeenBox seen;
  ModalDriver driver(Press(QStringLiteral("OK"), seen));
  prompts.ShowMessage("Send Complete! Total Messages Sent: 3");
  QCOMPARE(seen.text, QStringLiteral("Send Complete! Total Messages Sent: 3"));
}

void QtUserPromptsTest::YesNoQuestion() {
  QtUserPrompts prompts(&parent_);
  SeenBox yes;
  ModalDriver first(Press(QStringLiteral("Yes"), yes));
  QVERIFY(prompts.AskYesNo("Resume?"));
  QCOMPARE(yes.icon, QMessageBox::Question);
  QCOMPARE(yes.buttons, QStringList({"No", "Yes"}));
  SeenBox no;
  ModalDriver second(Press(QStringLiteral("No"), no));
  QVERIFY(!prompts.AskYesNo("Resume?"));
  QCOMPARE(no.defaultButton, QStringLiteral("Yes"));

  // A question whose Yes would mail people again: Enter answers No.
  ModalDriver enter([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
  QVERIFY(!prompts.AskYesNoDefaultNo("Send to them all again?"));
  QVERIFY(enter.acted());
}

void QtUserPromptsTest::SavePathGetsTheProjectExtensionAndCancelGivesNothing() {
  QtUserPrompts prompts(&parent_);
  const QString typed = env_.File(QStringLiteral("june"));
  QString filter;
  ModalDriver driver([&](QWidget* modal) {
    auto* dialog = qobject_cast<QFileDialog*>(modal);
    if (dialog == nullptr) return modal->close(), void();
    filter = dialog->nameFilters().join('|');
    // Typed into the name box, as a person would (selectFile leaves a focused box alone).
    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->setText(typed);
    QMetaObject::invokeMethod(dialog, "accept");
  });
  const std::optional<std::string> chosen = prompts.ChooseSavePath("Postrider.prj");
  QVERIFY(chosen.has_value());
  QCOMPARE(QString::fromStdString(*chosen), typed + QStringLiteral(".prj"));
  QCOMPARE(filter, QStringLiteral("Project (*.prj)"));

  ModalDriver cancel([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
  QVERIFY(!prompts.ChooseSavePath("Postrider.prj").has_value());
  QVERIFY(cancel.acted());
}

QTEST_MAIN(QtUserPromptsTest)
#include "qt_user_prompts_test.moc"
