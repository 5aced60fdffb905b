#include "app/main_frame.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <utility>

#include "app/command_ids.h"
#include "app/command_table.h"
#include "app/confirm_send_setting.h"
#include "app/desktop_send_run.h"
#include "app/help_window.h"
#include "app/list_change_watch.h"
#include "app/qt_user_prompts.h"
#include "dialogs/configure_dlg.h"
#include "dialogs/password_dlg.h"
#include "dialogs/password_store.h"
#include "dialogs/smtp_passwords.h"
#include "views/display_text.h"
#include "app/message_view_commands.h"
#include "platform/refresh_token_store.h"
#include "platform/user_paths.h"
#include "project/postridr_doc.h"
#include "views/format_bar.h"
#include "views/message_bar.h"
#include "views/message_view.h"
#include "views/frame_pacer.h"
#include "views/project_view.h"
#include "views/shared_fonts.h"

namespace postrider {

namespace {

QString FromView(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// Qt gives a splitter's handle the role Grip, which AT-SPI reads as
// "unknown"; a bar between two panes is a separator to a screen reader.
QAccessibleInterface* SplitterHandleFactory(const QString& className, QObject* object) {
  if (className != QLatin1String("QSplitterHandle") || !object->isWidgetType()) return nullptr;
  return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Separator);
}

const QString kReady = QStringLiteral("Ready");
const QString kListChanged =
    QStringLiteral("The mailing list has changed since the project was opened.");

QString ToolbarIcon(int id) {
  switch (id) {
    case commands::kFileNew:
      return QStringLiteral(":/icons/toolbar/new.svg");
    case commands::kFileOpen:
      return QStringLiteral(":/icons/toolbar/open.svg");
    case commands::kFileSave:
      return QStringLiteral(":/icons/toolbar/save.svg");
    case commands::kShowFieldMenu:
      return QStringLiteral(":/icons/toolbar/insert-field.svg");
    case commands::kAttach:
      return QStringLiteral(":/icons/toolbar/attach.svg");
    case commands::kSend:
      return QStringLiteral(":/icons/toolbar/send.svg");
    case commands::kPause:
      return QStringLiteral(":/icons/toolbar/pause.svg");
    case commands::kPreview:
      return QStringLiteral(":/icons/toolbar/preview.svg");
    default:
      return {};
  }
}

bool Contains(const QWidget* ancestor, const QWidget* widget) {
  return ancestor != nullptr && widget != nullptr &&
         (ancestor == widget || ancestor->isAncestorOf(widget));
}

}  // namespace

CMainFrame::CMainFrame(CPostridrDoc& document, ICommandTarget& application, QWidget* parent)
    : QMainWindow(parent), document_(document) {
  // The settings come first: everything below may need them.
  settings_ = postrider::LoadSettings(SettingsFilePath());
  loadedSettings_ = settings_;
  confirmSend_ = LoadConfirmSend(SettingsFilePath());
  loadedConfirmSend_ = confirmSend_;

  setWindowIcon(QIcon(QStringLiteral(":/icons/postrider.svg")));

  router_.SetTarget(CommandRouter::Link::Frame, this);
  router_.SetTarget(CommandRouter::Link::Application, &application);

  CreateActions();
  CreateMenus();
  CreateToolBar();
  CreateStatusBar();
  CreateClient();
  CreateSendRun();

  connect(qApp, &QApplication::focusChanged, this,
          [this](QWidget*, QWidget* now) { OnFocusChanged(now); });
  connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this,
          &CMainFrame::UpdateCommandStates);
  // Accelerators come before the focused control, so Ctrl+C copies from the
  // message text even while the Subject line has the focus.
  qApp->installEventFilter(this);

  RefreshTitle();
  UpdateCommandStates();
}

CMainFrame::~CMainFrame() {
  qApp->removeEventFilter(this);
  if (!settingsSaved_) SaveSettings();
}

// ---- construction -----------------------------------------------------------

QAction* CMainFrame::MakeAction(int id, const QString& text) {
  auto* action = new QAction(text, this);
  const std::string_view prompt = CommandPrompt(id);
  if (!prompt.empty()) action->setStatusTip(FromView(prompt));
  QList<QKeySequence> keys;
  for (std::string_view key : CommandKeys(id)) {
    keys.append(QKeySequence::fromString(FromView(key), QKeySequence::PortableText));
  }
  action->setShortcuts(keys);
  for (const QKeySequence& key : keys) accelerators_.push_back(key);
  connect(action, &QAction::triggered, this, [this, id] { RouteCommand(id); });
  actions_[id] = action;
  return action;
}

void CMainFrame::CreateActions() {
  for (const MenuSpec& menu : MainMenus()) {
    for (const MenuEntry& entry : menu.entries) {
      // The field submenu's items are made with each list.
      if (entry.id == 0 || entry.id == commands::kShowFieldMenu) continue;
      // The text after the tab is the shortcut, which the action carries.
      const QString full = FromView(entry.text);
      MakeAction(entry.id, full.section(QLatin1Char('\t'), 0, 0));
    }
  }
  // Its key works with the toolbar hidden too.
  addAction(MakeAction(commands::kShowFieldMenu, FromView(CommandName(commands::kShowFieldMenu))));
  // Keys without a menu item still belong to the window.
  for (int id : {commands::kNextPane, commands::kPrevPane}) {
    QAction* pane = MakeAction(id, FromView(CommandName(id)));
    addAction(pane);
  }
  actions_[commands::kViewToolbar]->setCheckable(true);
  actions_[commands::kViewStatusBar]->setCheckable(true);
  // The placeholder stands for the list until it has entries.
  actions_[commands::kRecentFileFirst]->setEnabled(false);
}

void CMainFrame::CreateMenus() {
  menuBar()->setAccessibleName(QStringLiteral("Menu bar"));
  for (const MenuSpec& menuLayout : MainMenus()) {
    QMenu* menu = menuBar()->addMenu(FromView(menuLayout.title));
    QString shown = menu->title();
    menu->setAccessibleName(shown.remove(QLatin1Char('&')));
    for (const MenuEntry& entry : menuLayout.entries) {
      if (entry.id == 0) {
        menu->addSeparator();
      } else if (entry.id == commands::kShowFieldMenu) {
        insertFieldSubmenu_ = menu->addMenu(FromView(entry.text));
        insertFieldSubmenu_->setAccessibleName(QStringLiteral("Insert Field"));
        insertFieldSubmenu_->setEnabled(false);
      } else {
        menu->addAction(actions_.at(entry.id));
      }
    }
    connect(menu, &QMenu::aboutToShow, this, &CMainFrame::UpdateCommandStates);
    if (menuLayout.entries.data() == MainMenus().front().entries.data()) fileMenu_ = menu;
  }
  // The separator after the recent files marks where their entries end.
  const QList<QAction*> fileActions = fileMenu_->actions();
  const qsizetype recentAt = fileActions.indexOf(actions_.at(commands::kRecentFileFirst));
  recentAnchor_ = fileActions.value(recentAt + 1);
  connect(fileMenu_, &QMenu::aboutToShow, this, &CMainFrame::fileMenuAboutToShow);
}

void CMainFrame::CreateToolBar() {
  toolBar_ = new QToolBar(QStringLiteral("Toolbar"), this);
  toolBar_->setObjectName(QStringLiteral("Toolbar"));
  toolBar_->setAccessibleName(QStringLiteral("Toolbar"));
  toolBar_->setMovable(false);
  toolBar_->setFloatable(false);
  toolBar_->setIconSize(QSize(16, 16));
  toolBar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
  for (int id : ToolbarCommands()) {
    if (id == 0) {
      toolBar_->addSeparator();
      continue;
    }
    QAction* action = actions_.at(id);
    action->setIcon(QIcon(ToolbarIcon(id)));
    toolBar_->addAction(action);
    QWidget* button = toolBar_->widgetForAction(action);
    button->setAccessibleName(FromView(CommandName(id)));
    // The name, and the key that does the same where there is one.
    QString tip = FromView(CommandName(id));
    if (!action->shortcut().isEmpty()) {
      tip += QStringLiteral(" (%1)").arg(action->shortcut().toString(QKeySequence::NativeText));
    }
    action->setToolTip(tip);
  }
  addToolBar(Qt::TopToolBarArea, toolBar_);
}

void CMainFrame::CreateStatusBar() {
  QStatusBar* bar = statusBar();
  bar->setAccessibleName(QStringLiteral("Status bar"));
  bar->setFont(GetSharedFonts().standard);
  // The panes have no accessible names of their own: a label without one is
  // named by its text, which is what a screen reader must read, and it
  // announces every change of it. The descriptions say what each pane is for.
  idleStatusText_ = kReady;
  statusPanes_[0] = new QLabel(kReady, bar);
  statusPanes_[0]->setAccessibleDescription(QStringLiteral("Status"));
  statusPanes_[1] = new QLabel(bar);
  statusPanes_[1]->setAccessibleDescription(QStringLiteral("Selection and send progress"));
  for (QLabel* pane : statusPanes_) {
    pane->setFont(GetSharedFonts().standard);
    pane->setTextFormat(Qt::PlainText);
  }
  // The second pane is as wide as a quarter of the screen, as status panes
  // without a width of their own have always been.
  const QScreen* screen = QGuiApplication::primaryScreen();
  const int screenWidth = screen != nullptr ? screen->geometry().width() : 1024;
  statusPanes_[1]->setMinimumWidth(screenWidth / 4);
  bar->addWidget(statusPanes_[0], 1);
  bar->addPermanentWidget(statusPanes_[1]);
  // Beside the run's texts: the selected entries taken up so far.
  sendProgress_ = new QProgressBar(bar);
  sendProgress_->setAccessibleName(QStringLiteral("Send progress"));
  // The pane beside it says "Sending 5 of 12" already.
  sendProgress_->setTextVisible(false);
  sendProgress_->setFixedWidth(screenWidth / 8);
  sendProgress_->hide();
  bar->addPermanentWidget(sendProgress_);
  runDisplay_ = new FramePacer([this] { ShowHeldRunDisplay(); }, FramePacer::kFrame, this);
}

void CMainFrame::CreateSendRun() {
  passwordStore_ = std::make_unique<KeychainPasswordStore>();
  refreshTokenStore_ = std::make_unique<SecretServiceTokenStore>();
  passwords_ = std::make_unique<SmtpPasswords>(
      *passwordStore_,
      [this](const UserSettings& settings, const std::string& note) {
        return AskSmtpPassword(this, settings.userName, settings.smtpServer, note);
      },
      refreshTokenStore_.get());
  sendPrompts_ = std::make_unique<QtUserPrompts>(this);
  sendPrompts_->SetAskBeforeSending(&confirmSend_);
  configureDialog_ = std::make_unique<QtConfigureDialog>(
      this, passwords_.get(), [this] { ShowHelpPage(QStringLiteral("settings.html")); });
  configureDialog_->SetConfirmSend(&confirmSend_);
  sendRun_ = std::make_unique<DesktopSendRun>(*this, *sendPrompts_, configureDialog_.get(),
                                              passwords_.get());
  // While a send runs, Pause is the one command carried out.
  router_.SetGate([this](int id) { return sendRun_->Allows(id); });
}

void CMainFrame::ShowSendProgress(int takenUp, int total) {
  if (runDisplayPaced_) {
    heldProgress_ = true;
    heldTakenUp_ = takenUp;
    heldTotal_ = total;
    runDisplay_->Request();
    return;
  }
  sendProgress_->setRange(0, std::max(total, 1));
  sendProgress_->setValue(std::min(takenUp, std::max(total, 1)));
  sendProgress_->show();
}

void CMainFrame::HideSendProgress() {
  heldProgress_ = false;
  sendProgress_->hide();
}

void CMainFrame::PaceRunDisplay(bool paced) {
  if (paced == runDisplayPaced_) return;
  if (paced) {
    runDisplayPaced_ = true;
    projectView_->HoldChanges([this] { runDisplay_->Request(); });
    return;
  }
  runDisplay_->Flush();
  runDisplayPaced_ = false;
  projectView_->ReleaseChanges();
}

void CMainFrame::ShowRunDisplayNow() { runDisplay_->Flush(); }

void CMainFrame::ShowHeldRunDisplay() {
  const bool paced = std::exchange(runDisplayPaced_, false);
  if (std::exchange(heldPaneText_, false)) ShowPane1(heldPane1_);
  if (std::exchange(heldProgress_, false)) ShowSendProgress(heldTakenUp_, heldTotal_);
  runDisplayPaced_ = paced;
  projectView_->ShowHeldChanges();
}

void CMainFrame::CreateClient() {
  auto* client = new QWidget(this);
  auto* column = new QVBoxLayout(client);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  // First, so Tab reaches its buttons before the panes.
  listChangedBar_ = new MessageBar(QStringLiteral("Mailing list changed"),
                                   QStringLiteral("&Open Again"), client);
  listChangedBar_->actionButton()->setAccessibleDescription(
      QStringLiteral("Open the project again to show the list as it is now"));
  connect(listChangedBar_, &MessageBar::actionTriggered, this,
          [this] { RouteCommand(commands::kFileReopen); });
  connect(listChangedBar_, &MessageBar::dismissed, this, [this] {
    listChangeDismissed_ = true;
    projectView_->entryList()->setFocus(Qt::OtherFocusReason);
  });
  listWatch_ = new ListChangeWatch(document_, this);
  connect(listWatch_, &ListChangeWatch::changedChanged, this, &CMainFrame::ShowListChange);

  splitter_ = new QSplitter(Qt::Vertical, client);
  splitter_->setAccessibleName(QStringLiteral("Project and message panes"));
  splitter_->setChildrenCollapsible(false);
  projectView_ = new CProjectView(document_, splitter_);
  messageView_ = new CMessageView(document_, splitter_);
  splitter_->addWidget(projectView_);
  splitter_->addWidget(messageView_);
  static const bool handleFactory = [] {
    QAccessible::installFactory(SplitterHandleFactory);
    return true;
  }();
  (void)handleFactory;
  splitter_->handle(1)->setAccessibleName(QStringLiteral("Divider between list and message"));
  // Half and half, and both halves grow alike until the user moves the bar.
  splitter_->setStretchFactor(0, 1);
  splitter_->setStretchFactor(1, 1);
  splitter_->setSizes({1, 1});
  column->addWidget(listChangedBar_);
  column->addWidget(splitter_, 1);
  setCentralWidget(client);

  messageCommands_ = std::make_unique<MessageViewCommands>(*messageView_, document_);
  connect(messageView_, &CMessageView::editStateChanged, this, &CMainFrame::UpdateCommandStates);
  // The To choice marks the project modified at once; the title follows once
  // the view has told the document.
  connect(messageView_->toCombo(), &QComboBox::currentIndexChanged, this,
          &CMainFrame::RefreshTitle, Qt::QueuedConnection);
  connect(messageView_->messageEdit()->document(), &QTextDocument::modificationChanged, this,
          &CMainFrame::RefreshTitle);
  SetActiveView(false);
}

// ---- the main frame's side of the document ----------------------------------

void CMainFrame::AttachDocument(CPostridrDoc* document) {
  currentDocument_ = document;
  insertFieldMenu_ = std::make_unique<QMenu>(this);
  insertFieldMenu_->setAccessibleName(QStringLiteral("Insert list field"));
  if (document != nullptr) {
    const std::vector<std::string>& names = document->GetFieldNames();
    const int count = std::min<int>(static_cast<int>(names.size()),
                                    commands::kInsertFieldLast - commands::kInsertFieldFirst + 1);
    for (int i = 0; i < count; ++i) {
      const int id = commands::kInsertFieldFirst + i;
      const QString name = ShownText(names[static_cast<std::size_t>(i)]);
      QAction* item = insertFieldMenu_->addAction(PlainMenuText(name));
      item->setData(id);
      item->setStatusTip(FromView(CommandPrompt(id)));
      connect(item, &QAction::triggered, this, [this, id] { RouteCommand(id); });
    }
  }
  // The old items went with the old menu.
  insertFieldSubmenu_->addActions(insertFieldMenu_->actions());
  insertFieldSubmenu_->setEnabled(!insertFieldMenu_->actions().isEmpty());
  // Another list, or the same one read again: nothing changed in it yet.
  listChangeDismissed_ = false;
  listWatch_->Follow();
  ShowListChange(false);
  ShowDocumentAccess();
  RefreshTitle();
}

void CMainFrame::ShowDocumentAccess() {
  const bool readOnly = document_.IsReadOnly();
  messageView_->messageEdit()->setReadOnly(readOnly);
  messageView_->subjectEdit()->setReadOnly(readOnly);
  messageView_->toCombo()->setEnabled(!readOnly);
  // Its buttons write into the letter past the edit's own read-only guard.
  messageView_->formatBar()->setEnabled(!readOnly);
  idleStatusText_ =
      readOnly ? QStringLiteral("Read-only. ") + ShownText(document_.GetReadOnlyReason()) : kReady;
  statusPanes_[0]->setText(idleStatusText_);
  UpdateCommandStates();
}

void CMainFrame::SetCurrentProjectPath(const std::string& path) {
  settings_.currentProjectFile = path;
  RefreshTitle();
  emit currentProjectPathSet(QByteArray::fromStdString(path));
}

void CMainFrame::ShowSelectedCount(long count) {
  ShowPane1(QString::asprintf("%ld Selected", count));
  RefreshTitle();
}

void CMainFrame::SetStatusText(const std::string& text) { ShowPane1(ShownText(text)); }

void CMainFrame::ShowPane1(const QString& text) {
  if (runDisplayPaced_) {
    heldPane1_ = text;
    heldPaneText_ = true;
    runDisplay_->Request();
    return;
  }
  // The label tells screen readers of the new text itself.
  statusPanes_[1]->setText(text);
}

QLabel* CMainFrame::statusPane(int pane) const {
  return pane == 0 || pane == 1 ? statusPanes_[pane] : nullptr;
}

void CMainFrame::RefreshTitle() {
  QString name = ShownText(document_.GetTitle());
  // A name holding the placeholder itself must show it, not the mark.
  name.replace(QStringLiteral("[*]"), QStringLiteral("[*][*]"));
  if (document_.IsReadOnly()) name += QStringLiteral(" (read-only)");
  setWindowTitle(name + QStringLiteral("[*] - Postrider"));
  const bool textEdited = messageView_ != nullptr && messageView_->messageEdit()->document()->isModified();
  setWindowModified(document_.IsModified() || textEdited);
}

void CMainFrame::ShowListChange(bool changed) {
  if (!changed) {
    listChangedBar_->hide();
    return;
  }
  if (listChangeDismissed_) return;
  // Gone or unreadable is not the same as changed: say which, and why.
  const bool unreadable = listWatch_->unreadable();
  QString text = unreadable ? ShownText(listWatch_->problem()) +
                                  QStringLiteral(". The entries shown are those read when the "
                                                 "project was opened.")
                            : kListChanged;
  // An untitled project has no files to open again until it is saved.
  if (!unreadable && document_.GetPathName().empty())
    text += QStringLiteral(" Save the project, then open it again.");
  listChangedBar_->setAccessibleName(unreadable ? QStringLiteral("Mailing list cannot be read")
                                                : QStringLiteral("Mailing list changed"));
  listChangedBar_->SetText(text);
  UpdateCommandStates();
  listChangedBar_->Announce();
}

bool CMainFrame::RefuseIfListChanged() {
  const Status list = listWatch_->CheckNow();
  if (list) return false;
  sendPrompts_->ShowMessage(
      list.message() + "\nOpen the project again to see and select the entries it holds now.",
      MessageIcon::Error);
  return true;
}

// ---- settings ------------------------------------------------------------------

Status CMainFrame::SaveSettings() {
  settingsSaved_ = true;
  // What this window did not change is left as the file holds it now: a
  // second window or a hand edit may have changed it meanwhile.
  Status status = postrider::SaveSettings(SettingsFilePath(), settings_, loadedSettings_);
  if (status) loadedSettings_ = settings_;
  // Unchanged here, the question stays as another window may have set it.
  if (confirmSend_ == loadedConfirmSend_) return status;
  const Status confirm = SaveConfirmSend(SettingsFilePath(), confirmSend_);
  if (confirm) loadedConfirmSend_ = confirmSend_;
  return status ? confirm : status;
}

void CMainFrame::SaveSettingsOnClose() {
  // The project to reopen is the one of the window closed last, even when
  // another window, closed before it over some other project, wrote its own.
  if (!settings_.currentProjectFile.empty()) loadedSettings_.currentProjectFile.clear();
  const Status status = SaveSettings();
  if (status) return;
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Postrider"),
                  QStringLiteral("The settings could not be saved.\n\n%1")
                      .arg(ShownText(status.message())),
                  QMessageBox::Ok, this);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

// ---- events --------------------------------------------------------------------

bool CMainFrame::event(QEvent* event) {
  if (event->type() == QEvent::StatusTip) {
    const QString tip = static_cast<QStatusTipEvent*>(event)->tip();
    statusPanes_[0]->setText(tip.isEmpty() ? idleStatusText_ : tip);
    return true;
  }
  // Back from the program that edits the list: say so before anything is done.
  if (event->type() == QEvent::WindowActivate && listWatch_ != nullptr) listWatch_->CheckNow();
  return QMainWindow::event(event);
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  // While a send runs the gate keeps the window open.
  if (!router_.Allows(commands::kAppExit) || !document_.CanCloseFrame()) {
    event->ignore();
    RefreshTitle();
    return;
  }
  SaveSettingsOnClose();
  event->accept();
  emit closed();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (widget != nullptr && widget->window() == this) {
      const auto* key = static_cast<QKeyEvent*>(event);
      const QKeySequence pressed(key->keyCombination());
      for (const QKeySequence& accelerator : accelerators_) {
        if (accelerator == pressed) {
          event->ignore();
          return true;
        }
      }
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

QMenu* CMainFrame::createPopupMenu() {
  // View > Toolbar and View > Status Bar are the one place to hide the bars.
  return nullptr;
}

void CMainFrame::OnFocusChanged(QWidget* now) {
  if (Contains(messageView_, now)) {
    SetActiveView(true);
  } else if (Contains(projectView_, now)) {
    SetActiveView(false);
  }
}

void CMainFrame::SetActiveView(bool messageView) {
  messageViewActive_ = messageView;
  router_.SetTarget(CommandRouter::Link::ActiveView,
                    messageView ? static_cast<ICommandTarget*>(messageCommands_.get()) : nullptr);
  UpdateCommandStates();
}

bool CMainFrame::messageViewIsActive() const { return messageViewActive_; }

void CMainFrame::FocusOtherPane() {
  // Two panes: the next one and the previous one are the same.
  if (messageViewActive_) {
    projectView_->entryList()->setFocus(Qt::OtherFocusReason);
  } else {
    messageView_->messageEdit()->setFocus(Qt::OtherFocusReason);
  }
}

}  // namespace postrider
