#include <QAbstractItemView>
#include <QAccessible>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTextEdit>
#include <QScrollBar>
#include <QToolBar>
#include <QToolButton>

#include <functional>

#include "app/command_ids.h"
#include "app/desktop_send_run.h"
#include "app/help_window.h"
#include "app/qt_user_prompts.h"
#include "app_test_support.h"
#include "dialogs/attachment_problems_dlg.h"
#include "dialogs/password_dlg.h"
#include "dialogs/server_check_dlg.h"
#include "dialogs/sign_in_dlg.h"
#include "send/oauth_tokens.h"
#include "support/memory_token_store.h"
#include "views/message_view.h"
#include "views/project_view.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

QAccessibleInterface* Accessible(QObject* object) {
  return QAccessible::queryAccessibleInterface(object);
}

bool Interactive(QAccessible::Role role) {
  switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::SpinBox:
    case QAccessible::Slider:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
    case QAccessible::Table:
    case QAccessible::List:
    case QAccessible::Tree:
    case QAccessible::PageTabList:
    case QAccessible::Link:
      return true;
    default:
      return false;
  }
}

// Every control of `window` a person can reach that a screen reader could
// not name, or whose text or value it could not read, one line each.
QStringList UnreadableControls(QWidget* window, int* seen = nullptr) {
  QStringList faults;
  QList<QWidget*> widgets = window->findChildren<QWidget*>();
  widgets.prepend(window);
  for (QWidget* widget : widgets) {
    if (widget != window && !widget->isVisibleTo(window)) continue;
    // Scroll bars, the rows and headers of a list are read through the list.
    if (qobject_cast<QScrollBar*>(widget) || qobject_cast<QMenu*>(widget)) continue;
    bool insideView = false;
    for (QWidget* up = widget->parentWidget(); up != nullptr && up != window;
         up = up->parentWidget()) {
      if (qobject_cast<QAbstractItemView*>(up)) insideView = true;
    }
    if (insideView) continue;
    QAccessibleInterface* control = QAccessible::queryAccessibleInterface(widget);
    if (control == nullptr || !Interactive(control->role())) continue;
    if (seen != nullptr) ++*seen;
    const QString what = QStringLiteral("%1 %2 \"%3\"")
                             .arg(QLatin1String(widget->metaObject()->className()),
                                  widget->objectName(), control->text(QAccessible::Name));
    const QString name = control->text(QAccessible::Name);
    if (name.trimmed().isEmpty() || name.contains(QLatin1Char('&'))) {
      faults << QStringLiteral("no name: ") + what;
      continue;
    }
    const QAccessible::Role role = control->role();
    if ((role == QAccessible::EditableText || role == QAccessible::ComboBox) &&
        control->textInterface() == nullptr && control->valueInterface() == nullptr &&
        control->text(QAccessible::Value).isNull()) {
      faults << QStringLiteral("no text: ") + what;
    }
    if (role == QAccessible::SpinBox && control->valueInterface() == nullptr) {
      faults << QStringLiteral("no value: ") + what;
    }
  }
  return faults;
}

// The controls of `window` Tab never reaches from where the focus starts.
// A letter's editor keeps Tab for itself; Ctrl+Tab leaves it, as anywhere.
QStringList UnreachedByTab(QWidget* window) {
  QSet<QWidget*> reached;
  // A window that opens with nothing focused takes the first Tab itself.
  if (window->focusWidget() == nullptr) QTest::keyClick(window, Qt::Key_Tab);
  QWidget* start = window->focusWidget();
  if (start == nullptr) return {QStringLiteral("no control has the focus")};
  QWidget* at = start;
  for (int presses = 0; presses < 200; ++presses) {
    reached.insert(at);
    auto* edit = qobject_cast<QTextEdit*>(at);
    auto* plain = qobject_cast<QPlainTextEdit*>(at);
    const bool keepsTab = (edit != nullptr && !edit->isReadOnly() && !edit->tabChangesFocus()) ||
                          (plain != nullptr && !plain->isReadOnly() && !plain->tabChangesFocus());
    QTest::keyClick(at, Qt::Key_Tab, keepsTab ? Qt::ControlModifier : Qt::NoModifier);
    at = window->focusWidget();
    if (at == nullptr || at == start) break;
  }
  QStringList unreached;
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    if (!widget->isVisibleTo(window) || !widget->isEnabled()) continue;
    if ((widget->focusPolicy() & Qt::TabFocus) == 0 || widget->focusProxy() != nullptr) continue;
    bool insideControl = false;
    for (QWidget* up = widget->parentWidget(); up != nullptr && up != window;
         up = up->parentWidget()) {
      if (qobject_cast<QAbstractScrollArea*>(up) || qobject_cast<QComboBox*>(up) ||
          qobject_cast<QAbstractSpinBox*>(up)) {
        insideControl = true;
      }
    }
    if (insideControl || reached.contains(widget)) continue;
    QAccessibleInterface* control = QAccessible::queryAccessibleInterface(widget);
    unreached << QStringLiteral("Tab does not reach: %1 \"%2\"")
                     .arg(QLatin1String(widget->metaObject()->className()),
                          control != nullptr ? control->text(QAccessible::Name) : QString());
  }
  return unreached;
}

// The letter Alt takes in `text` ("&&" is a plain ampersand), or none.
QChar Mnemonic(const QString& text) {
  for (qsizetype at = text.indexOf(QLatin1Char('&')); at >= 0 && at + 1 < text.size();
       at = text.indexOf(QLatin1Char('&'), at + 2)) {
    if (text[at + 1] != QLatin1Char('&')) return text[at + 1].toLower();
  }
  return {};
}

// The Alt letters of `window` that more than one control answers to; such a
// letter only moves between them, and never presses a button.
QStringList SharedMnemonics(QWidget* window) {
  QMultiMap<QChar, QString> owners;
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    if (!widget->isVisibleTo(window)) continue;
    QString text;
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) text = button->text();
    if (auto* label = qobject_cast<QLabel*>(widget); label != nullptr && label->buddy()) {
      text = label->text();
    }
    const QChar letter = Mnemonic(text);
    if (!letter.isNull()) owners.insert(letter, text);
  }
  QStringList shared;
  for (const QChar letter : owners.uniqueKeys()) {
    if (owners.count(letter) > 1) {
      shared << QStringLiteral("Alt+%1 belongs to: %2")
                    .arg(letter, QStringList(owners.values(letter)).join(QStringLiteral(", ")));
    }
  }
  return shared;
}

// Labels whose fixed accessible name hides the text they show, which is what
// a screen reader must read (and announce as it changes).
QStringList HiddenLabelTexts(QWidget* window) {
  QStringList hidden;
  for (QLabel* label : window->findChildren<QLabel*>()) {
    if (!label->isVisibleTo(window) || label->text().trimmed().isEmpty()) continue;
    // The name leaves out the mnemonic's ampersand.
    const QString name = Accessible(label)->text(QAccessible::Name);
    if (!name.contains(QString(label->text()).remove(QLatin1Char('&')).trimmed())) {
      hidden << QStringLiteral("label named \"%1\" hides its text \"%2\"")
                    .arg(name, label->text().left(60));
    }
  }
  return hidden;
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
  void EveryControlOfEveryWindowIsNamedAndRead_data();
  void EveryControlOfEveryWindowIsNamedAndRead();
  void EveryControlOfTheWindowsShownWithoutAQuestionIsNamed();

 private:
  CMainFrame* frame() const { return app_->mainFrame(); }

  std::unique_ptr<DesktopTestEnvironment> env_;
  std::unique_ptr<CPostridrApp> app_;
};

void AccessibleWindowTest::init() {
  env_ = ExampleProjectEnvironment();
  QVERIFY(StartShown(app_));
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

using OpenWindow = std::function<void(CMainFrame*)>;
Q_DECLARE_METATYPE(OpenWindow)

void AccessibleWindowTest::EveryControlOfEveryWindowIsNamedAndRead_data() {
  QTest::addColumn<OpenWindow>("open");
  auto command = [](int id) { return OpenWindow([id](CMainFrame* frame) { frame->RouteCommand(id); }); };
  auto dialog = [](std::function<std::unique_ptr<QDialog>(QWidget*)> make) {
    return OpenWindow([make](CMainFrame* frame) { make(frame)->exec(); });
  };
  QTest::newRow("Configure") << command(commands::kConfigure);
  QTest::newRow("Select on Query") << command(commands::kSelectOnQuery);
  QTest::newRow("Letter Options") << command(commands::kLetterOptions);
  QTest::newRow("Preview") << command(commands::kPreview);
  QTest::newRow("About") << command(commands::kAppAbout);
  QTest::newRow("new project") << command(commands::kFileNew);
  QTest::newRow("open") << command(commands::kFileOpen);
  QTest::newRow("attach") << command(commands::kAttach);
  QTest::newRow("send question") << OpenWindow([](CMainFrame* frame) {
    QtUserPrompts(frame).ConfirmSend("Send to the 12 selected entries?");
  });
  QTest::newRow("resume question") << OpenWindow([](CMainFrame* frame) {
    QtUserPrompts(frame).AskYesNo("Start from the beginning?");
  });
  QTest::newRow("save question") << OpenWindow([](CMainFrame* frame) {
    QtUserPrompts(frame).AskSaveChanges("example.prj");
  });
  QTest::newRow("error") << OpenWindow([](CMainFrame* frame) {
    QtUserPrompts(frame).ShowMessage("The list could not be read.", MessageIcon::Error);
  });
  QTest::newRow("end of the run") << OpenWindow([](CMainFrame* frame) {
    SendRunResult result;
    result.accepted = 11;
    result.refused = 1;
    frame->sendRun().EntryRefused(2, "grace hopper@example.com", "553 bad address");
    frame->sendRun().Show("11 messages were sent.", result);
  });
  QTest::newRow("attachment problems") << dialog([](QWidget* parent) {
    AttachmentProblem problem;
    problem.entry = 0;
    problem.recipient = "ada.lovelace@example.com";
    problem.path = "/nowhere/programme.pdf";
    problem.reason = "the file does not exist";
    return std::make_unique<CAttachmentProblemsDlg>(std::vector<AttachmentProblem>{problem},
                                                    parent);
  });
  QTest::newRow("password") << dialog([](QWidget* parent) {
    return std::make_unique<CPasswordDlg>(QStringLiteral("library on mail.example.com"),
                                          QStringLiteral("The server asked for it."), parent);
  });
}

void AccessibleWindowTest::EveryControlOfEveryWindowIsNamedAndRead() {
  QFETCH(OpenWindow, open);
  QStringList faults;
  QStringList hiddenTexts;
  QString title;
  int seen = 0;
  ModalDriver driver([&](QWidget* modal) {
    title = modal->windowTitle();
    // A message box's details are read too.
    if (QAbstractButton* details = FindButton(modal, QStringLiteral("Show Details..."))) {
      details->click();
    }
    faults = UnreadableControls(modal, &seen) + SharedMnemonics(modal) + UnreachedByTab(modal);
    hiddenTexts = HiddenLabelTexts(modal);
    // Esc closes every window and never says yes to anything.
    QTest::keyClick(modal, Qt::Key_Escape);
    if (modal->isVisible()) {
      faults << QStringLiteral("Esc does not close it");
      modal->close();
    }
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (box != nullptr && box->clickedButton() != nullptr &&
        box->clickedButton() == box->button(QMessageBox::Yes)) {
      faults << QStringLiteral("Esc answers Yes");
    } else if (box == nullptr && qobject_cast<QDialog*>(modal) != nullptr &&
               static_cast<QDialog*>(modal)->result() != QDialog::Rejected) {
      faults << QStringLiteral("Esc accepts");
    }
  });
  open(frame());
  QVERIFY(driver.acted());
  QVERIFY(seen > 0);
  QVERIFY2(faults.isEmpty(), qPrintable(title + QLatin1Char('\n') + faults.join(QLatin1Char('\n'))));
  QVERIFY2(hiddenTexts.isEmpty(),
           qPrintable(title + QLatin1Char('\n') + hiddenTexts.join(QLatin1Char('\n'))));
}

// The main window, and the dialogs that start work as they are shown, read
// without showing them.
void AccessibleWindowTest::EveryControlOfTheWindowsShownWithoutAQuestionIsNamed() {
  QStringList faults = UnreadableControls(frame()) + UnreachedByTab(frame());
  frame()->RouteCommand(commands::kHelpContents);
  HelpWindow* help = nullptr;
  for (QWidget* window : QApplication::topLevelWidgets()) {
    if (auto* found = qobject_cast<HelpWindow*>(window)) help = found;
  }
  QVERIFY(help != nullptr);
  help->activateWindow();
  QVERIFY(QTest::qWaitForWindowActive(help));
  faults << UnreadableControls(help) << UnreachedByTab(help);
  help->close();
  UserSettings settings;
  settings.smtpServer = "mail.example.com";
  settings.userName = "library";
  CServerCheckDlg check(settings, Secret(std::string("pw")), frame());
  faults << UnreadableControls(&check) << HiddenLabelTexts(&check);
  testing::MemoryTokenStore store;
  OAuthTokens tokens(&store);
  CSignInDlg signIn(settings, tokens, frame());
  faults << UnreadableControls(&signIn) << HiddenLabelTexts(&signIn);
  QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
}

QTEST_MAIN(AccessibleWindowTest)
#include "accessible_window_test.moc"
