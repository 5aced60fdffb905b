#include <QAbstractItemModel>
#include <QAbstractItemView>
#include <QAccessible>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include "app/command_ids.h"
#include "app/help_window.h"
#include "app_test_support.h"
#include "qt_support/mnemonic.h"
#include "views/message_view.h"
#include "views/project_view.h"
#include "views/shared_fonts.h"

using namespace postrider;
using namespace postrider::testing;

namespace {

QStringList Shortcuts(const QAction* action) {
  QStringList keys;
  for (const QKeySequence& key : action->shortcuts()) keys << key.toString(QKeySequence::PortableText);
  return keys;
}

}  // namespace

class MainFrameTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();

  void EveryMenuAndItemHasAMnemonicOfItsOwnAndTheKeysWork();
  void ToolbarHasEightNamedButtonsAndTwoSeparatorsAndStaysPut();
  void SendPauseAndAttachAlwaysEnabled();
  void StatusBarSaysReadyThenThePromptOfTheHighlightedItem();
  void StatusBarCountsTheSelectionAfterOpenAndAfterAClick();
  void SplitterHoldsTheListAboveTheMessageHalfAndHalf();
  void InsertFieldMenuHasOneItemPerFieldAndOpensBesideTheToolbar();
  void InsertFieldMenuItemPutsTheFieldIntoTheMessage();
  void InsertFieldMenuRunsFrom103To127ForTwentyFiveFields();
  void InsertFieldMenuNeverBuiltShowsNothing();
  void EditCommandsFollowTheMessageViewOnlyWhileItIsActive();
  void CopyKeyActsOnTheMessageTextWhileTheSubjectHasTheFocus();
  void FunctionKeySixMovesTheFocusBetweenThePanes();
  void ViewMenuHidesAndShowsTheBars();
  void TitleShowsTheProjectAndItsModifiedMark();
  void SelectionCommandsGoToTheDocument();
  void GateRefusesCommandsAndKeepsTheWindowOpen();
  void HelpContentsOpensTheHelpWindowAtItsContents();

 private:
  CMainFrame* frame() const { return app_->mainFrame(); }
  QMenu* Menu(const QString& title) const;

  std::unique_ptr<DesktopTestEnvironment> env_;
  std::unique_ptr<CPostridrApp> app_;
};

void MainFrameTest::init() {
  env_ = ExampleProjectEnvironment();
  QVERIFY(StartShown(app_));
}

void MainFrameTest::cleanup() {
  if (app_ && frame() != nullptr) {
    // Let the project go without the save prompt.
    app_->document().SetModifiedFlag(false);
    frame()->router().SetGate(nullptr);
  }
  app_.reset();
  env_.reset();
}

QMenu* MainFrameTest::Menu(const QString& title) const {
  for (QAction* action : frame()->menuBar()->actions()) {
    if (action->menu() != nullptr && action->text() == title) return action->menu();
  }
  return nullptr;
}

void MainFrameTest::EveryMenuAndItemHasAMnemonicOfItsOwnAndTheKeysWork() {
  QStringList titles;
  for (QAction* menu : frame()->menuBar()->actions()) {
    QVERIFY(menu->menu() != nullptr);
    const QString title = MnemonicOf(menu->text());
    QVERIFY2(!title.isEmpty() && !titles.contains(title), qPrintable(menu->text()));
    titles << title;
    QStringList letters;
    for (QAction* item : menu->menu()->actions()) {
      if (item->isSeparator() || !item->isVisible()) continue;
      const QString letter = MnemonicOf(item->text());
      QVERIFY2(!letter.isEmpty() && !letters.contains(letter),
               qPrintable(menu->text() + QStringLiteral(" > ") + item->text()));
      letters << letter;
    }
  }

  // Message > Insert Field holds the insert-field menu's items, the list's fields.
  QMenu* fields = frame()->insertFieldSubmenu();
  QVERIFY(fields != nullptr);
  QVERIFY(Menu(QStringLiteral("&Message"))->actions().contains(fields->menuAction()));
  QVERIFY(fields->isEnabled());
  QCOMPARE(fields->actions(), frame()->insertFieldMenu()->actions());
  QCOMPARE(fields->actions().size(), 5);

  // The second keys of the edit commands, the panes' keys, Exit's and the fields'.
  QCOMPARE(Shortcuts(frame()->action(commands::kEditUndo)), QStringList({"Ctrl+Z", "Alt+Backspace"}));
  QCOMPARE(Shortcuts(frame()->action(commands::kEditCut)), QStringList({"Ctrl+X", "Shift+Del"}));
  QCOMPARE(Shortcuts(frame()->action(commands::kEditCopy)), QStringList({"Ctrl+C", "Ctrl+Ins"}));
  QCOMPARE(Shortcuts(frame()->action(commands::kEditPaste)), QStringList({"Ctrl+V", "Shift+Ins"}));
  QCOMPARE(Shortcuts(frame()->action(commands::kNextPane)), QStringList({"F6"}));
  QCOMPARE(Shortcuts(frame()->action(commands::kPrevPane)), QStringList({"Shift+F6"}));

  // Ctrl+I from the letter opens the fields, and a field goes in at the caret.
  QPlainTextEdit* edit = frame()->messageView()->messageEdit();
  frame()->activateWindow();
  edit->setFocus();
  QTRY_VERIFY(edit->hasFocus());
  edit->moveCursor(QTextCursor::End);
  QTest::keyClick(edit, Qt::Key_I, Qt::ControlModifier);
  QTRY_VERIFY(frame()->insertFieldMenu()->isVisible());
  QTest::keyClick(frame()->insertFieldMenu(), Qt::Key_Down);
  QTest::keyClick(frame()->insertFieldMenu(), Qt::Key_Return);
  QTRY_VERIFY(!frame()->insertFieldMenu()->isVisible());
  QVERIFY2(edit->toPlainText().endsWith(QStringLiteral("[[FirstName]]")),
           qPrintable(edit->toPlainText()));

  // Ctrl+Q quits the way Exit does: the save question first; Cancel stays.
  ModalScript cancel({ClickButton(QStringLiteral("Cancel"))});
  QTest::keyClick(edit, Qt::Key_Q, Qt::ControlModifier);
  QCOMPARE(cancel.acted(), 1);
  QCOMPARE(cancel.titles(), QStringList({QStringLiteral("Postrider")}));
  QVERIFY(frame()->isVisible());
}

void MainFrameTest::ToolbarHasEightNamedButtonsAndTwoSeparatorsAndStaysPut() {
  QToolBar* bar = frame()->toolBar();
  QVERIFY(!bar->isMovable());
  QVERIFY(!bar->isFloatable());
  QCOMPARE(bar->iconSize(), QSize(16, 16));
  const QList<QAction*> entries = bar->actions();
  QCOMPARE(entries.size(), 10);
  const QList<int> ids = {57600, 57601, 57603, 0, 32781, 32776, 0, 32772, 32775, 32783};
  const QStringList names = {"New",    "Open", "Save",  "",     "Insert List Field",
                             "Attach", "",     "Send",  "Pause", "Preview"};
  for (qsizetype i = 0; i < entries.size(); ++i) {
    if (ids[i] == 0) {
      QVERIFY(entries[i]->isSeparator());
      continue;
    }
    QCOMPARE(entries[i], frame()->action(ids[i]));
    auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(entries[i]));
    QVERIFY(button != nullptr);
    QCOMPARE(button->accessibleName(), names[i]);
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(button);
    QVERIFY(accessible != nullptr);
    QCOMPARE(accessible->text(QAccessible::Name), names[i]);
    // A tool tip with the name, and the key where there is one.
    QVERIFY2(button->toolTip().startsWith(names[i]), qPrintable(button->toolTip()));
  }
  QCOMPARE(frame()->action(commands::kFileNew)->toolTip(),
           QStringLiteral("New (%1)").arg(QKeySequence(QStringLiteral("Ctrl+N")).toString(
               QKeySequence::NativeText)));
}

void MainFrameTest::SendPauseAndAttachAlwaysEnabled() {
  frame()->UpdateCommandStates();
  QVERIFY(frame()->action(commands::kSend)->isEnabled());
  QVERIFY(frame()->action(commands::kPause)->isEnabled());
  QVERIFY(frame()->action(commands::kAttach)->isEnabled());
  QVERIFY(frame()->toolBar()->widgetForAction(frame()->action(commands::kAttach))->isEnabled());
  QVERIFY(frame()->toolBar()->widgetForAction(frame()->action(commands::kSend))->isEnabled());
  // Still so after commands have run and the focus has moved.
  frame()->messageView()->messageEdit()->setFocus();
  {
    // No settings yet: the prompt, the Configure dialog (cancelled), the
    // server that cannot be reached, the final box.
    ModalScript answers({ClickButton(QStringLiteral("OK")), ClickButton(QStringLiteral("Cancel")),
                         ClickButton(QStringLiteral("OK")), ClickButton(QStringLiteral("OK"))});
    QVERIFY(frame()->RouteCommand(commands::kSend));
    QCOMPARE(answers.acted(), 4);
  }
  QVERIFY(frame()->RouteCommand(commands::kPause));
  {
    ModalScript cancel({ClickButton(QStringLiteral("Cancel"))});
    QVERIFY(frame()->RouteCommand(commands::kAttach));
    QCOMPARE(cancel.acted(), 1);
  }
  QVERIFY(frame()->action(commands::kSend)->isEnabled());
  QVERIFY(frame()->action(commands::kPause)->isEnabled());
  QVERIFY(frame()->action(commands::kAttach)->isEnabled());
}

void MainFrameTest::StatusBarSaysReadyThenThePromptOfTheHighlightedItem() {
  QLabel* pane = frame()->statusPane(0);
  QCOMPARE(pane->text(), QStringLiteral("Ready"));
  QCOMPARE(pane->font(), GetSharedFonts().standard);

  const QList<std::pair<int, QString>> prompts = {
      {commands::kFileNew, "Create a new document"},
      {commands::kAppExit, "Quit the application; prompts to save documents"},
      {commands::kRecentFileFirst, "Open this document"},
  };
  QMenu* file = Menu(QStringLiteral("&File"));
  file->popup(frame()->mapToGlobal(QPoint(10, 10)));
  QVERIFY(QTest::qWaitForWindowExposed(file));
  for (const auto& [id, prompt] : prompts) {
    QAction* item = nullptr;
    for (QAction* action : file->actions()) {
      if (action == frame()->action(id) || action->data().toInt() == id) item = action;
    }
    QVERIFY(item != nullptr);
    if (!item->isVisible()) continue;  // the placeholder gives way to the entries
    file->setActiveAction(item);
    QTRY_COMPARE(pane->text(), prompt);
  }
  file->close();
  QTRY_COMPARE(pane->text(), QStringLiteral("Ready"));

  QMenu* message = Menu(QStringLiteral("&Message"));
  message->popup(frame()->mapToGlobal(QPoint(10, 10)));
  QVERIFY(QTest::qWaitForWindowExposed(message));
  message->setActiveAction(frame()->action(commands::kSend));
  QTRY_COMPARE(pane->text(), QStringLiteral("Start or resume send"));
  message->setActiveAction(frame()->action(commands::kPause));
  QTRY_COMPARE(pane->text(), QStringLiteral("Halt the current send"));
  message->close();
  QTRY_COMPARE(pane->text(), QStringLiteral("Ready"));
}

void MainFrameTest::StatusBarCountsTheSelectionAfterOpenAndAfterAClick() {
  QLabel* pane = frame()->statusPane(1);
  QCOMPARE(pane->text(), QStringLiteral("12 Selected"));

  QAbstractItemView* list = frame()->projectView()->entryList();
  const QModelIndex row = list->model()->index(3, 0);
  const QRect place = list->visualRect(row);
  QVERIFY(place.isValid());
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, place.center());
  QTRY_COMPARE(pane->text(), QStringLiteral("11 Selected"));
  QCOMPARE(app_->document().IsEntrySelected(3), 0);

  frame()->RouteCommand(commands::kUnselectAll);
  QCOMPARE(pane->text(), QStringLiteral("0 Selected"));
  frame()->SetStatusText("Sending 1 of 3");
  QCOMPARE(pane->text(), QStringLiteral("Sending 1 of 3"));
}

void MainFrameTest::SplitterHoldsTheListAboveTheMessageHalfAndHalf() {
  QSplitter* splitter = frame()->splitter();
  QCOMPARE(splitter->orientation(), Qt::Vertical);
  QCOMPARE(splitter->widget(0), static_cast<QWidget*>(frame()->projectView()));
  QCOMPARE(splitter->widget(1), static_cast<QWidget*>(frame()->messageView()));
  QVERIFY(frame()->isMaximized());
  QTRY_VERIFY(std::abs(splitter->sizes()[0] - splitter->sizes()[1]) <= 1);
  QVERIFY(splitter->sizes()[0] > 100);
  // The bar between them is read by name, as a separator.
  QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(splitter->handle(1));
  QVERIFY(bar != nullptr);
  QCOMPARE(bar->text(QAccessible::Name), QStringLiteral("Divider between list and message"));
  QCOMPARE(bar->role(), QAccessible::Separator);

  // The halves stay halves when the window changes size.
  frame()->showNormal();
  frame()->resize(700, 500);
  QTRY_COMPARE(frame()->size(), QSize(700, 500));
  QTRY_VERIFY(std::abs(splitter->sizes()[0] - splitter->sizes()[1]) <= 1);
}

void MainFrameTest::InsertFieldMenuHasOneItemPerFieldAndOpensBesideTheToolbar() {
  QMenu* fields = frame()->insertFieldMenu();
  QVERIFY(fields != nullptr);
  const QList<QAction*> items = fields->actions();
  const QStringList names = {"FirstName", "LastName", "Email", "City", "MemberSince"};
  QCOMPARE(items.size(), names.size());
  for (qsizetype i = 0; i < items.size(); ++i) {
    QCOMPARE(items[i]->text(), names[i]);
    QCOMPARE(items[i]->data().toInt(), 103 + static_cast<int>(i));
  }

  auto* button = qobject_cast<QToolButton*>(
      frame()->toolBar()->widgetForAction(frame()->action(commands::kShowFieldMenu)));
  QTest::mouseClick(button, Qt::LeftButton);
  QTRY_VERIFY(fields->isVisible());
  QCOMPARE(fields->pos(), frame()->frameGeometry().topLeft() + QPoint(86, 67));
  fields->close();

  // The same place relative to the window, wherever the window is.
  frame()->showNormal();
  frame()->setGeometry(120, 90, 640, 480);
  QTRY_COMPARE(frame()->geometry().topLeft(), QPoint(120, 90));
  frame()->RouteCommand(commands::kShowFieldMenu);
  QTRY_VERIFY(fields->isVisible());
  QCOMPARE(fields->pos(), frame()->frameGeometry().topLeft() + QPoint(86, 67));
  fields->close();
}

void MainFrameTest::InsertFieldMenuItemPutsTheFieldIntoTheMessage() {
  // A field name with an ampersand is shown as it is, not as a mnemonic.
  const QString list = env_->Write(QStringLiteral("amp.txt"), "Name\tR&D\tEmail\nAnn\tx\ta@b.c\n");
  const QString project = env_->Write(
      QStringLiteral("amp.prj"),
      "[Settings]\nMessageFile=letter.txt\nDBFile=amp.txt\nDBFileType=0\nEmailFieldIndex=2\n"
      "HelperFile=amp.prh\n");
  Q_UNUSED(list);
  env_->Write(QStringLiteral("amp.prh"), QByteArray(32000, '\0'));
  app_->document().SetModifiedFlag(false);
  QCOMPARE(app_->OpenDocumentFile(Bytes(project)), CPostridrApp::OpenResult::Opened);
  QMenu* fields = frame()->insertFieldMenu();
  QCOMPARE(fields->actions().size(), 3);
  QCOMPARE(fields->actions()[1]->text(), QStringLiteral("R&&D"));

  QPlainTextEdit* edit = frame()->messageView()->messageEdit();
  edit->setFocus();
  QTextCursor cursor = edit->textCursor();
  cursor.movePosition(QTextCursor::Start);
  edit->setTextCursor(cursor);
  QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
  fields->actions()[1]->trigger();
  QVERIFY2(edit->toPlainText().startsWith(QStringLiteral("[[R&D]]")), qPrintable(edit->toPlainText()));
  QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
  // The Message menu's submenu shows the same fields.
  QCOMPARE(frame()->insertFieldSubmenu()->actions().size(), 3);
}

void MainFrameTest::InsertFieldMenuRunsFrom103To127ForTwentyFiveFields() {
  QStringList names;
  QStringList values;
  for (int i = 0; i < 25; ++i) {
    names << QStringLiteral("F%1").arg(i);
    values << QStringLiteral("v%1").arg(i);
  }
  env_->Write(QStringLiteral("wide.txt"), (names.join('\t') + '\n' + values.join('\t') + '\n').toUtf8());
  const QString project = env_->Write(
      QStringLiteral("wide.prj"),
      "[Settings]\nMessageFile=letter.txt\nDBFile=wide.txt\nDBFileType=0\nEmailFieldIndex=0\n"
      "HelperFile=wide.prh\n");
  env_->Write(QStringLiteral("wide.prh"), QByteArray(32000, '\0'));
  app_->document().SetModifiedFlag(false);
  QCOMPARE(app_->OpenDocumentFile(Bytes(project)), CPostridrApp::OpenResult::Opened);
  const QList<QAction*> items = frame()->insertFieldMenu()->actions();
  QCOMPARE(items.size(), 25);
  QCOMPARE(items.first()->data().toInt(), 103);
  QCOMPARE(items.last()->data().toInt(), 127);
  QCOMPARE(items.last()->text(), QStringLiteral("F24"));

  QPlainTextEdit* edit = frame()->messageView()->messageEdit();
  edit->setFocus();
  edit->moveCursor(QTextCursor::End);
  QVERIFY(frame()->RouteCommand(127));
  QVERIFY2(edit->toPlainText().endsWith(QStringLiteral("[[F24]]")), qPrintable(edit->toPlainText()));
}

void MainFrameTest::InsertFieldMenuNeverBuiltShowsNothing() {
  CPostridrApp idle;  // not started: its document was never attached to a frame
  CMainFrame bare(idle.document(), idle);
  QVERIFY(bare.insertFieldMenu() == nullptr);
  QVERIFY(bare.RouteCommand(commands::kShowFieldMenu));
  QVERIFY(bare.insertFieldMenu() == nullptr);
  QVERIFY(QApplication::activePopupWidget() == nullptr);
  // Nor does a field command reach a document that is not there.
  QVERIFY(bare.RouteCommand(103));
}

void MainFrameTest::EditCommandsFollowTheMessageViewOnlyWhileItIsActive() {
  QAction* copy = frame()->action(commands::kEditCopy);
  QAction* cut = frame()->action(commands::kEditCut);
  QAction* paste = frame()->action(commands::kEditPaste);
  QAction* undo = frame()->action(commands::kEditUndo);
  QGuiApplication::clipboard()->setText(QStringLiteral("pasted"));

  // The list pane is active first: no edit command applies to it.
  frame()->projectView()->entryList()->setFocus();
  QTRY_VERIFY(!frame()->messageViewIsActive());
  for (QAction* action : {copy, cut, paste, undo}) QVERIFY(!action->isEnabled());

  QPlainTextEdit* edit = frame()->messageView()->messageEdit();
  edit->setFocus();
  QTRY_VERIFY(frame()->messageViewIsActive());
  QVERIFY(paste->isEnabled());
  QVERIFY(!copy->isEnabled());
  QVERIFY(!undo->isEnabled());

  edit->selectAll();
  QTRY_VERIFY(copy->isEnabled());
  QVERIFY(cut->isEnabled());
  cut->trigger();
  QCOMPARE(edit->toPlainText(), QString());
  QTRY_VERIFY(undo->isEnabled());
  QVERIFY(!copy->isEnabled());
  undo->trigger();
  QVERIFY(edit->toPlainText().contains(QStringLiteral("Harbour Library")));

  QGuiApplication::clipboard()->clear();
  QTRY_VERIFY(!paste->isEnabled());
}

void MainFrameTest::CopyKeyActsOnTheMessageTextWhileTheSubjectHasTheFocus() {
  QPlainTextEdit* edit = frame()->messageView()->messageEdit();
  QLineEdit* subject = frame()->messageView()->subjectEdit();
  edit->setFocus();
  QTextCursor cursor = edit->textCursor();
  cursor.movePosition(QTextCursor::Start);
  cursor.movePosition(QTextCursor::NextWord, QTextCursor::KeepAnchor);
  edit->setTextCursor(cursor);
  const QString word = cursor.selectedText();
  QVERIFY(!word.isEmpty());

  subject->setFocus();
  subject->selectAll();
  QTRY_VERIFY(subject->hasFocus());
  QTRY_VERIFY(frame()->action(commands::kEditCopy)->isEnabled());
  QTest::keyClick(subject, Qt::Key_C, Qt::ControlModifier);
  QCOMPARE(QGuiApplication::clipboard()->text(), word);
  // The second key for Copy does the same.
  QGuiApplication::clipboard()->clear();
  QTest::keyClick(subject, Qt::Key_Insert, Qt::ControlModifier);
  QCOMPARE(QGuiApplication::clipboard()->text(), word);
}

void MainFrameTest::FunctionKeySixMovesTheFocusBetweenThePanes() {
  QAbstractItemView* list = frame()->projectView()->entryList();
  QPlainTextEdit* edit = frame()->messageView()->messageEdit();
  frame()->activateWindow();
  list->setFocus();
  QTRY_VERIFY(list->hasFocus());
  QTest::keyClick(list, Qt::Key_F6);
  QTRY_VERIFY(edit->hasFocus());
  QVERIFY(frame()->messageViewIsActive());
  QTest::keyClick(edit, Qt::Key_F6, Qt::ShiftModifier);
  QTRY_VERIFY(list->hasFocus());
  QVERIFY(!frame()->messageViewIsActive());
}

void MainFrameTest::ViewMenuHidesAndShowsTheBars() {
  QAction* toolbar = frame()->action(commands::kViewToolbar);
  QAction* statusBar = frame()->action(commands::kViewStatusBar);
  QVERIFY(toolbar->isCheckable() && toolbar->isChecked());
  QVERIFY(statusBar->isCheckable() && statusBar->isChecked());
  toolbar->trigger();
  QVERIFY(frame()->toolBar()->isHidden());
  QVERIFY(!toolbar->isChecked());
  statusBar->trigger();
  QVERIFY(frame()->statusBar()->isHidden());
  QVERIFY(!statusBar->isChecked());
  toolbar->trigger();
  statusBar->trigger();
  QVERIFY(!frame()->toolBar()->isHidden());
  QVERIFY(!frame()->statusBar()->isHidden());
  QVERIFY(toolbar->isChecked() && statusBar->isChecked());
}

void MainFrameTest::TitleShowsTheProjectAndItsModifiedMark() {
  QCOMPARE(frame()->windowTitle(), QStringLiteral("example.prj[*] - Postrider"));
  // Just opened, the project is as its files hold it.
  QVERIFY(!frame()->isWindowModified());
  QVERIFY(!frame()->windowIcon().isNull() || !QFile::exists(QStringLiteral(":/icons/postrider.svg")));

  frame()->RouteCommand(commands::kFileSave);
  QVERIFY(!app_->document().IsModified());
  QVERIFY(!frame()->isWindowModified());

  frame()->RouteCommand(commands::kSelectAll);
  QVERIFY(frame()->isWindowModified());
  frame()->RouteCommand(commands::kFileSave);
  QVERIFY(!frame()->isWindowModified());

  // Typing in the letter shows the mark at once.
  QPlainTextEdit* edit = frame()->messageView()->messageEdit();
  edit->setFocus();
  QTest::keyClicks(edit, QStringLiteral("P.S. "));
  QTRY_VERIFY(frame()->isWindowModified());

  // A project whose name holds the mark's placeholder shows the name as it is.
  QVERIFY(QFile::copy(env_->File(QStringLiteral("example.prj")), env_->File(QStringLiteral("odd[*].prj"))));
  // The typed text is a change: the save prompt comes first.
  ModalScript dontSave({ClickButton(QStringLiteral("No"))});
  QCOMPARE(app_->OpenDocumentFile(Bytes(env_->File(QStringLiteral("odd[*].prj")))),
           CPostridrApp::OpenResult::Opened);
  QCOMPARE(dontSave.acted(), 1);
  app_->document().SetModifiedFlag(false);
  frame()->RefreshTitle();
  QCOMPARE(frame()->windowTitle(), QStringLiteral("odd[*][*].prj[*] - Postrider"));
}

void MainFrameTest::SelectionCommandsGoToTheDocument() {
  CPostridrDoc& document = app_->document();
  frame()->RouteCommand(commands::kUnselectAll);
  QCOMPARE(document.GetSelectedCount(), 0);
  frame()->RouteCommand(commands::kSelectAll);
  QCOMPARE(document.GetSelectedCount(), 12);
  document.SetEntryStatus(2, 1);
  document.SetEntryStatus(5, 2);
  // Dropping a sent mark is asked first, and Enter keeps it.
  QString question;
  {
    ModalScript enter({[&question](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      QVERIFY(box != nullptr);
      question = box->text();
      QTest::keyClick(box, Qt::Key_Return);
    }});
    frame()->RouteCommand(commands::kClearStatus);
    QCOMPARE(enter.acted(), 1);
  }
  QVERIFY2(question.startsWith(QStringLiteral("1 entry is marked sent.")), qPrintable(question));
  QCOMPARE(document.GetEntryStatus(2), 1);
  QCOMPARE(document.GetEntryStatus(5), 2);
  {
    ModalScript yes({ClickButton(QStringLiteral("Yes"))});
    frame()->RouteCommand(commands::kClearStatus);
    QCOMPARE(yes.acted(), 1);
  }
  for (int i = 0; i < document.GetEntryCount(); ++i) QCOMPARE(document.GetEntryStatus(i), 0);
  // With nobody marked sent there is nothing to lose, and nothing is asked.
  document.SetEntryStatus(7, 3);
  {
    ModalScript unasked({ClickButton(QStringLiteral("No"))});
    frame()->RouteCommand(commands::kClearStatus);
    QCOMPARE(unasked.acted(), 0);
  }
  QCOMPARE(document.GetEntryStatus(7), 0);
  QCOMPARE(document.GetSelectedCount(), 12);
  // Select on Query opens the List Query dialog over the window; Cancel changes nothing.
  QWidget* parent = nullptr;
  {
    ModalScript answers({[&parent](QWidget* modal) {
      parent = modal->parentWidget();
      ClickButton(QStringLiteral("Cancel"))(modal);
    }});
    QVERIFY(frame()->RouteCommand(commands::kSelectOnQuery));
    QCOMPARE(answers.titles(), QStringList({QStringLiteral("List Query")}));
  }
  QCOMPARE(parent, frame());
  QCOMPARE(document.GetSelectedCount(), 12);
}

void MainFrameTest::GateRefusesCommandsAndKeepsTheWindowOpen() {
  QList<int> asked;
  frame()->router().SetGate([&asked](int id) {
    asked << id;
    return id == commands::kPause;
  });
  frame()->action(commands::kUnselectAll)->trigger();
  QCOMPARE(app_->document().GetSelectedCount(), 12);
  QTest::keyClick(frame(), Qt::Key_S, Qt::ControlModifier);
  frame()->action(commands::kPause)->trigger();
  QCOMPARE(asked, QList<int>({commands::kUnselectAll, commands::kFileSave, commands::kPause}));

  // Closing the window is refused too, without the save prompt.
  QVERIFY(!frame()->close());
  QVERIFY(frame()->isVisible());
  frame()->router().SetGate(nullptr);
}

void MainFrameTest::HelpContentsOpensTheHelpWindowAtItsContents() {
  frame()->action(commands::kHelpContents)->trigger();
  HelpWindow* help = HelpWindow::Current();
  QVERIFY(help != nullptr);
  QTRY_VERIFY(help->isVisible());
  QCOMPARE(help->browser()->source().fileName(), QStringLiteral("index.html"));
  // The wizard's finish page reaches help through the frame the same way.
  help->browser()->setSource(QUrl(QStringLiteral("qrc:/help/letter.html")));
  frame()->ShowHelpContents();
  QCOMPARE(HelpWindow::Current(), help);
  QCOMPARE(help->browser()->source().fileName(), QStringLiteral("index.html"));
  help->close();
}

QTEST_MAIN(MainFrameTest)
#include "main_frame_test.moc"
