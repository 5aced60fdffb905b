// The frame's part of the command chain and its own command handlers.

#include <QAbstractItemView>
#include <QAction>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>
#include <QToolBar>

#include "app/command_ids.h"
#include "app/command_table.h"
#include "app/desktop_send_run.h"
#include "dialogs/configure_dlg.h"
#include "dialogs/letter_options_dlg.h"
#include "dialogs/preview_dlg.h"
#include "views/display_text.h"
#include "app/help_window.h"
#include "app/qt_user_prompts.h"
#include "app/main_frame.h"
#include "project/postridr_doc.h"
#include "views/message_bar.h"
#include "views/message_view.h"
#include "views/project_view.h"

namespace postrider {

namespace {

bool IsInsertField(int id) {
  return id >= commands::kInsertFieldFirst && id <= commands::kInsertFieldLast;
}

// Where the insert-field menu opens, from the window's top-left corner.
constexpr QPoint kInsertFieldMenuOffset(86, 67);

}  // namespace

bool CMainFrame::RouteCommand(int id) {
  const bool handled = router_.Route(id);
  // The command may have changed what the others can do, and the project.
  UpdateCommandStates();
  RefreshTitle();
  return handled;
}

void CMainFrame::UpdateCommandStates() {
  for (const auto& [id, action] : actions_) {
    // The placeholder stands for an empty list and is never enabled.
    if (id == commands::kRecentFileFirst) continue;
    const CommandState state = router_.StateOf(id);
    action->setEnabled(state.enabled);
    if (action->isCheckable()) action->setChecked(state.checked);
  }
  for (QAction* recent : recentActions_) {
    recent->setEnabled(router_.StateOf(recent->data().toInt()).enabled);
  }
  if (listChangedBar_ != nullptr) {
    listChangedBar_->actionButton()->setVisible(router_.StateOf(commands::kFileReopen).enabled);
  }
}

QAction* CMainFrame::action(int id) const {
  const auto found = actions_.find(id);
  return found != actions_.end() ? found->second : nullptr;
}

bool CMainFrame::OnCommand(int id) {
  if (IsInsertField(id)) {
    OnInsertField(id);
    return true;
  }
  switch (id) {
    case commands::kConfigure:
      OnConfigure();
      return true;
    case commands::kSend:
      OnSend();
      return true;
    case commands::kPause:
      OnPause();
      return true;
    case commands::kPreview:
      OnPreview();
      return true;
    case commands::kLetterOptions:
      OnLetterOptions();
      return true;
    case commands::kClearStatus:
      OnClearStatus();
      return true;
    case commands::kShowFieldMenu:
      OnShowFieldMenu();
      return true;
    case commands::kHelpContents:
      ShowHelpContents();
      return true;
    case commands::kViewToolbar:
      toolBar_->setVisible(toolBar_->isHidden());
      return true;
    case commands::kViewStatusBar:
      statusBar()->setVisible(statusBar()->isHidden());
      return true;
    case commands::kNextPane:
    case commands::kPrevPane:
      FocusOtherPane();
      return true;
    case commands::kAppExit:
      close();
      return true;
    default:
      return false;
  }
}

bool CMainFrame::QueryCommandState(int id, CommandState& state) const {
  // A read-only project can be looked at and previewed, nothing more.
  const bool writable = !document_.IsReadOnly();
  if (IsInsertField(id)) {
    state.enabled = writable;
    return true;
  }
  switch (id) {
    case commands::kViewToolbar:
      state.checkable = true;
      state.checked = !toolBar_->isHidden();
      return true;
    case commands::kViewStatusBar:
      state.checkable = true;
      state.checked = !statusBar()->isHidden();
      return true;
    case commands::kSend:
    case commands::kClearStatus:
    case commands::kShowFieldMenu:
    case commands::kLetterOptions:
      state.enabled = writable;
      return true;
    case commands::kConfigure:
    case commands::kPause:
    case commands::kPreview:
    case commands::kHelpContents:
    case commands::kNextPane:
    case commands::kPrevPane:
    case commands::kAppExit:
      return true;
    default:
      return false;
  }
}

void CMainFrame::OnSend() {
  // The run's statuses and resume point reach the title as they change.
  sendRun_->Send(document_, settings_);
  RefreshTitle();
}

void CMainFrame::OnPause() { sendRun_->Pause(); }

void CMainFrame::OnConfigure() { configureDialog_->Run(settings_); }

void CMainFrame::OnPreview() {
  // The preview reads the entry's row where the list was indexed.
  if (RefuseIfListChanged()) return;
  const QModelIndex current = projectView_->entryList()->currentIndex();
  CPreviewDlg preview(document_, settings_, current.isValid() ? current.row() : -1, this);
  preview.exec();
  // Composing took the message pane's edits into the project.
  RefreshTitle();
}

void CMainFrame::OnLetterOptions() {
  if (!RunLetterOptions(document_, this)) return;
  messageView_->ShowFormatBar(document_.GetLetterOptions().format == MessageFormat::Markdown);
  RefreshTitle();
}

void CMainFrame::OnClearStatus() {
  if (currentDocument_ == nullptr) return;
  int sent = 0;
  for (int i = 0; i < currentDocument_->GetEntryCount(); ++i) {
    if (currentDocument_->GetEntryStatus(i) == StatusSent) ++sent;
  }
  // The sent marks are what keeps the next Send from mailing those people
  // again: a stray Enter or click on the menu must not drop them unasked.
  if (sent > 0 &&
      !sendPrompts_->AskYesNo(
          (sent == 1 ? std::string("1 entry is marked sent.")
                     : std::to_string(sent) + " entries are marked sent.") +
          "  Do you wish to clear the send status of every entry?\nThe next Send will not "
          "know whom the earlier runs reached, and may mail them again.")) {
    return;
  }
  currentDocument_->ClearStatus(0);
}

QPoint CMainFrame::insertFieldMenuPosition() const {
  return frameGeometry().topLeft() + kInsertFieldMenuOffset;
}

void CMainFrame::OnShowFieldMenu() {
  if (!insertFieldMenu_) return;
  insertFieldMenu_->popup(insertFieldMenuPosition());
}

void CMainFrame::OnInsertField(int id) {
  if (currentDocument_ != nullptr) currentDocument_->InsertMergeField(id - commands::kInsertFieldFirst);
}

void CMainFrame::ShowHelpContents() { ShowHelpPage(QStringLiteral("index.html")); }

void CMainFrame::ShowHelpPage(const QString& page) { ShowHelp(this, page); }

void CMainFrame::ShowRecentFiles(const std::vector<std::string>& paths) {
  for (QAction* recent : recentActions_) {
    fileMenu_->removeAction(recent);
    delete recent;
  }
  recentActions_.clear();
  const int count = std::min<int>(static_cast<int>(paths.size()),
                                  commands::kRecentFileLast - commands::kRecentFileFirst + 1);
  for (int i = 0; i < count; ++i) {
    const int id = commands::kRecentFileFirst + i;
    const QString text = QStringLiteral("&%1 %2").arg(i + 1).arg(
        PlainMenuText(ShownPath(paths[static_cast<std::size_t>(i)])));
    auto* recent = new QAction(text, this);
    recent->setData(id);
    recent->setStatusTip(QString::fromUtf8(CommandPrompt(id).data(),
                                           static_cast<qsizetype>(CommandPrompt(id).size())));
    connect(recent, &QAction::triggered, this, [this, id] { RouteCommand(id); });
    fileMenu_->insertAction(recentAnchor_, recent);
    recentActions_.push_back(recent);
  }
  action(commands::kRecentFileFirst)->setVisible(recentActions_.empty());
  UpdateCommandStates();
}

}  // namespace postrider
