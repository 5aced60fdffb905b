#include <QApplication>
#include <QCheckBox>
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

// Enter, as a person presses it on the box.
ModalDriver::Action PressEnter() {
  return [](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); };
}

// Ticks the box's "Do not ask again" first.
ModalDriver::Action Tick(ModalDriver::Action then) {
  return [then](QWidget* modal) {
    auto* box = qobject_cast<QMessageBox*>(modal);
    QVERIFY(box != nullptr && box->checkBox() != nullptr);
    QCOMPARE(box->checkBox()->text().remove('&'), QStringLiteral("Do not ask again"));
    box->checkBox()->setChecked(true);
    then(modal);
  };
}

}  // namespace

class QtUserPromptsTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { QCoreApplication::setAttribute(Qt::AA_DontUseNativeDialogs); }
  void SavePromptNamesTheProjectAndGivesTheThreeChoices();
  void MessagesShowTheirTextAsItIsWithTheRightIcon();
  void YesNoQuestionsAnswerNoOnEnter();
  void SendQuestionCanBeTurnedOffWithYesOnly();
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

void QtUserPromptsTest::YesNoQuestionsAnswerNoOnEnter() {
  QtUserPrompts prompts(&parent_);
  SeenBox yes;
  ModalDriver first(Press(QStringLiteral("Yes"), yes));
  QVERIFY(prompts.AskYesNo("Resume?"));
  QCOMPARE(yes.icon, QMessageBox::Question);
  QCOMPARE(yes.buttons, QStringList({"No", "Yes"}));
  QCOMPARE(yes.defaultButton, QStringLiteral("No"));
  {
    ModalDriver enter(PressEnter());
    QVERIFY(!prompts.AskYesNo("Start from the beginning?"));
    QVERIFY(enter.acted());
  }
  bool ask = true;
  prompts.SetAskBeforeSending(&ask);
  {
    ModalDriver enter(PressEnter());
    QVERIFY(!prompts.ConfirmSend("Send 27 messages through smtp.example.net?"));
    QVERIFY(enter.acted());
  }
}

void QtUserPromptsTest::SendQuestionCanBeTurnedOffWithYesOnly() {
  QtUserPrompts prompts(&parent_);
  bool ask = true;
  prompts.SetAskBeforeSending(&ask);
  // Ticked, but No: the user stopped this send and is asked next time too.
  SeenBox seen;
  ModalDriver no(Tick(Press(QStringLiteral("No"), seen)));
  QVERIFY(!prompts.ConfirmSend("Send 27 messages through smtp.example.net?"));
  QCOMPARE(seen.text, QStringLiteral("Send 27 messages through smtp.example.net?"));
  QCOMPARE(seen.defaultButton, QStringLiteral("No"));
  QVERIFY(ask);
  ModalDriver yes(Tick(Press(QStringLiteral("Yes"), seen)));
  QVERIFY(prompts.ConfirmSend("Send 1 message through smtp.example.net?"));
  QVERIFY(!ask);
  // Not asked any more.
  QVERIFY(prompts.ConfirmSend("Send 2 messages through smtp.example.net?"));
  QVERIFY(QApplication::activeModalWidget() == nullptr);
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
