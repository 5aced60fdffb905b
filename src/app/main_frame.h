#pragma once

#include <QByteArray>
#include <QMainWindow>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/command_router.h"
#include "app/command_target.h"
#include "platform/status.h"
#include "project/document_views.h"
#include "send/user_settings.h"

class QLabel;
class QMenu;
class QProgressBar;
class QSplitter;
class QToolBar;
class QToolButton;

namespace postrider {

class CMessageView;
class CPostridrDoc;
class DesktopSendRun;
class FramePacer;
class IPasswordStore;
class IRefreshTokenStore;
class ListChangeWatch;
class MessageBar;
class QtConfigureDialog;
class QtUserPrompts;
class SmtpPasswords;
class CProjectView;
class MessageViewCommands;

// The main window: menus, toolbar, status bar and the splitter with the
// project view above the message view. It owns the user settings for the
// whole run and routes every command through one chain.
class CMainFrame : public QMainWindow, public IMainFrame, public ICommandTarget {
  Q_OBJECT

 public:
  // `application` is the last link of the command chain.
  CMainFrame(CPostridrDoc& document, ICommandTarget& application, QWidget* parent = nullptr);
  ~CMainFrame() override;

  // IMainFrame
  void AttachDocument(CPostridrDoc* document) override;
  void SetCurrentProjectPath(const std::string& path) override;
  void ShowSelectedCount(long count) override;
  void SetStatusText(const std::string& text) override;
  void ShowHelpContents() override;

  // The command chain. Every command, however it arrives, goes through here.
  bool RouteCommand(int id);
  CommandRouter& router() { return router_; }
  bool OnCommand(int id) override;
  bool QueryCommandState(int id, CommandState& state) const override;
  // Brings every menu item's and button's enabled and checked state up to date.
  void UpdateCommandStates();

  // The frame's own handlers.
  void OnSend();
  void OnPause();
  void OnConfigure();
  void OnPreview();
  void OnLetterOptions();
  void OnClearStatus();
  void OnShowFieldMenu();
  void OnInsertField(int id);

  // Before a command that reads the list's rows: when the list file no
  // longer holds what they were read from, tells the user so and returns true.
  bool RefuseIfListChanged();
  // Above the list while its file has changed since the project was opened.
  MessageBar* listChangedBar() const { return listChangedBar_; }
  ListChangeWatch& listWatch() { return *listWatch_; }

  // The recent-file entries of the File menu, newest first.
  void ShowRecentFiles(const std::vector<std::string>& paths);
  // The window title and its modified mark follow the document.
  void RefreshTitle();
  // A read-only project's letter cannot be edited, and the title and the
  // status bar say it is read-only.
  void ShowDocumentAccess();

  // The send run's progress bar beside status pane 1: `takenUp` of `total`.
  void ShowSendProgress(int takenUp, int total);
  void HideSendProgress();
  // While a send runs, pane 1, the progress bar and the list's following of
  // the run are shown at a steady pace, whatever the rate of messages, and
  // the latest state is always what stays on screen.
  void PaceRunDisplay(bool paced);
  // Shows the latest state of a paced display now.
  void ShowRunDisplayNow();
  const FramePacer& runDisplayPacer() const { return *runDisplay_; }
  QProgressBar* sendProgress() const { return sendProgress_; }
  DesktopSendRun& sendRun() { return *sendRun_; }
  SmtpPasswords& passwords() { return *passwords_; }
  // Opens the help window on `page` of the built-in help.
  void ShowHelpPage(const QString& page);

  UserSettings& settings() { return settings_; }
  const UserSettings& settings() const { return settings_; }
  // Whether Send asks "Send 27 messages through ...?" first (ConfirmSend).
  bool& confirmSend() { return confirmSend_; }
  // Writes the user settings now; the frame also does so when it closes.
  Status SaveSettings();

  CPostridrDoc* currentDocument() const { return currentDocument_; }
  CProjectView* projectView() const { return projectView_; }
  CMessageView* messageView() const { return messageView_; }
  QSplitter* splitter() const { return splitter_; }
  QToolBar* toolBar() const { return toolBar_; }
  QMenu* insertFieldMenu() const { return insertFieldMenu_.get(); }
  // Message > Insert Field: the same items as the insert-field menu.
  QMenu* insertFieldSubmenu() const { return insertFieldSubmenu_; }
  // Where the insert-field menu opens, in screen coordinates.
  QPoint insertFieldMenuPosition() const;
  QAction* action(int id) const;
  QLabel* statusPane(int pane) const;
  bool messageViewIsActive() const;

 signals:
  // The document's path changed after an open or a save (empty for a new project).
  void currentProjectPathSet(const QByteArray& path);
  // The user closed the window and the project was let go.
  void closed();
  // The File menu is about to show: its recent files may be read again.
  void fileMenuAboutToShow();

 protected:
  bool event(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  QMenu* createPopupMenu() override;

 private:
  void CreateActions();
  void CreateMenus();
  void CreateToolBar();
  void CreateStatusBar();
  void CreateClient();
  QAction* MakeAction(int id, const QString& text);
  void FocusOtherPane();
  void OnFocusChanged(QWidget* now);
  void SetActiveView(bool messageView);
  void SaveSettingsOnClose();
  void CreateSendRun();
  void ShowPane1(const QString& text);
  void ShowHeldRunDisplay();
  void ShowListChange(bool changed);

  CPostridrDoc& document_;
  CPostridrDoc* currentDocument_ = nullptr;
  UserSettings settings_;
  // As read from the file, or as last saved to it.
  UserSettings loadedSettings_;
  bool confirmSend_ = true;
  bool loadedConfirmSend_ = true;
  bool settingsSaved_ = false;

  CommandRouter router_;
  std::unique_ptr<MessageViewCommands> messageCommands_;
  bool messageViewActive_ = false;

  std::map<int, QAction*> actions_;
  std::vector<QAction*> recentActions_;
  QMenu* fileMenu_ = nullptr;
  QAction* recentAnchor_ = nullptr;  // the separator below the recent files
  std::unique_ptr<QMenu> insertFieldMenu_;
  QMenu* insertFieldSubmenu_ = nullptr;
  std::vector<QKeySequence> accelerators_;

  QToolBar* toolBar_ = nullptr;
  QLabel* statusPanes_[2] = {nullptr, nullptr};
  // Pane 1 and the progress bar as a paced run left them, not yet shown.
  FramePacer* runDisplay_ = nullptr;
  bool runDisplayPaced_ = false;
  bool heldPaneText_ = false;
  QString heldPane1_;
  bool heldProgress_ = false;
  int heldTakenUp_ = 0;
  int heldTotal_ = 0;
  QString idleStatusText_;  // pane 0 when no prompt is shown
  QProgressBar* sendProgress_ = nullptr;
  QSplitter* splitter_ = nullptr;
  CProjectView* projectView_ = nullptr;
  CMessageView* messageView_ = nullptr;
  MessageBar* listChangedBar_ = nullptr;
  ListChangeWatch* listWatch_ = nullptr;
  // The user put the bar away: it stays away until another project opens.
  bool listChangeDismissed_ = false;

  // Send, Pause and Configure. The run is last, so it goes first.
  std::unique_ptr<IPasswordStore> passwordStore_;
  std::unique_ptr<IRefreshTokenStore> refreshTokenStore_;
  std::unique_ptr<SmtpPasswords> passwords_;
  std::unique_ptr<QtUserPrompts> sendPrompts_;
  std::unique_ptr<QtConfigureDialog> configureDialog_;
  std::unique_ptr<DesktopSendRun> sendRun_;
};

}  // namespace postrider
