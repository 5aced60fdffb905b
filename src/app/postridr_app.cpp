#include "app/postridr_app.h"

#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include "app/about_dialog.h"
#include "app/command_ids.h"
#include "views/display_text.h"
#include "app/document_commands.h"
#include "app/help_window.h"
#include "app/intro_window.h"
#include "app/main_frame.h"
#include "app/project_file_dialogs.h"
#include "app/qt_user_prompts.h"
#include "platform/user_paths.h"
#include "project/project_paths.h"
#include "views/accessible_combo_box.h"
#include "views/shared_fonts.h"
#include "wizard/wizard_pages.h"

namespace postrider {

namespace {

bool IsRecentFile(int id) {
  return id >= commands::kRecentFileFirst && id <= commands::kRecentFileLast;
}

// A shorter name cannot be a project file's path.
constexpr std::size_t kShortestProjectPath = 4;

}  // namespace

CPostridrApp::CPostridrApp() {
  // Before the first window: combo boxes are named for screen readers as
  // every other control is.
  InstallAccessibleComboBoxes();
  // The window holds its project's lock while it has it open; a project
  // another program writes opens read-only.
  document_.SetProjectAccess(ProjectAccess::ExclusiveOrReadOnly);
}

CPostridrApp::~CPostridrApp() {
  document_.SetPrompts(nullptr);
  document_.SetMainFrame(nullptr);
  documentCommands_.reset();
  wizardPages_.reset();
  // The frame writes the settings as it goes; the views let go of the document.
  frame_.reset();
  prompts_.reset();
  intro_.reset();
}

// ---- start-up --------------------------------------------------------------

void CPostridrApp::Start(int pictureMs, const std::string& project) {
  startProject_ = project;
  recentFiles_.Load(SettingsFilePath());
  GetSharedFonts();
  intro_ = std::make_unique<CIntroWnd>();
  intro_->ShowCentred();
  QTimer::singleShot(std::max(0, pictureMs), this, &CPostridrApp::FinishStartUp);
}

void CPostridrApp::FinishStartUp() {
  intro_->hide();
  CreateMainFrame();
  // The screen's size before anything opens: a box the opening shows (a
  // project that cannot be opened, a journal of a run cut short) is placed
  // over the window, which is not shown yet.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    frame_->setGeometry(screen->availableGeometry());
  }

  // A project that will not open has said why in its own box; start-up then
  // goes on as it would have without it.
  bool ready = !startProject_.empty() && document_.OnOpenDocument(startProject_);
  if (!ready) {
    const std::string lastProject = frame_->settings().currentProjectFile;
    // The same project is not tried, nor its error shown, twice.
    ready = lastProject.size() >= kShortestProjectPath &&
            (startProject_.empty() || !SameFile(startProject_, lastProject)) &&
            document_.OnOpenDocument(lastProject);
  }
  if (!ready) ready = document_.OnNewDocument(*wizardPages_);
  intro_.reset();
  if (!ready) {
    emit quitRequested();
    return;
  }
  ShowDocumentState();
  // Maximized, whatever the program was started with; the screen's size,
  // set above, for a desktop without a window manager that maximizes.
  frame_->showMaximized();
  emit started();
}

void CPostridrApp::CreateMainFrame() {
  frame_ = std::make_unique<CMainFrame>(document_, *this);
  prompts_ = std::make_unique<QtUserPrompts>(frame_.get());
  CMainFrame* frame = frame_.get();
  wizardPages_ = std::make_unique<QtWizardPages>(
      frame, [frame](const QString& page) { ShowHelp(frame, page); });
  documentCommands_ = std::make_unique<DocumentCommands>(document_, *prompts_, frame_.get());
  frame_->router().SetTarget(CommandRouter::Link::Document, documentCommands_.get());
  documentCommands_->SetListCheck([frame] { return frame->RefuseIfListChanged(); });
  document_.SetMainFrame(frame_.get());
  document_.SetPrompts(prompts_.get());

  connect(frame_.get(), &CMainFrame::currentProjectPathSet, this,
          [this](const QByteArray& path) { RememberProject(path.toStdString()); });
  connect(frame_.get(), &CMainFrame::closed, this, &CPostridrApp::quitRequested);
  // Another desktop may have opened a project since: a small file, read again.
  connect(frame_.get(), &CMainFrame::fileMenuAboutToShow, this, [this] {
    recentFiles_.Load(SettingsFilePath());
    ShowRecentFiles();
  });
  frame_->ShowRecentFiles(recentFiles_.entries());
}

void CPostridrApp::ShowDocumentState() {
  // A cancelled New or a failed Open has cleared the document without telling
  // the frame: the insert-field menu and the count must not show the old list.
  frame_->AttachDocument(&document_);
  frame_->ShowSelectedCount(document_.GetSelectedCount());
  frame_->RefreshTitle();
  frame_->UpdateCommandStates();
}

// ---- recent files ------------------------------------------------------------

void CPostridrApp::RememberProject(const std::string& path) {
  if (path.empty()) return;
  // The list is a convenience: a settings file that cannot be written is
  // reported when the settings are saved.
  recentFiles_.AddAndSave(SettingsFilePath(), path);
  ShowRecentFiles();
}

void CPostridrApp::ShowRecentFiles() {
  if (frame_) frame_->ShowRecentFiles(recentFiles_.entries());
}

// ---- commands ------------------------------------------------------------------

bool CPostridrApp::OnCommand(int id) {
  if (IsRecentFile(id)) {
    OnOpenRecentFile(id - commands::kRecentFileFirst);
    return true;
  }
  switch (id) {
    case commands::kFileNew:
      OnFileNew();
      return true;
    case commands::kFileOpen:
      OnFileOpen();
      return true;
    case commands::kFileReopen:
      OnFileReopen();
      return true;
    case commands::kAppAbout:
      OnAppAbout();
      return true;
    default:
      return false;
  }
}

bool CPostridrApp::QueryCommandState(int id, CommandState& state) const {
  if (IsRecentFile(id)) {
    state.enabled = id - commands::kRecentFileFirst < recentFiles_.size();
    return true;
  }
  if (id == commands::kFileReopen) {
    // An untitled project has no files to open again.
    state.enabled = !document_.GetPathName().empty();
    return true;
  }
  return id == commands::kFileNew || id == commands::kFileOpen || id == commands::kAppAbout;
}

bool CPostridrApp::OnFileNew() {
  // What was typed in the message pane counts as a change to save.
  document_.UpdateFromMessageViews();
  if (!document_.SaveModified()) return false;
  const bool made = document_.OnNewDocument(*wizardPages_);
  // A wizard cancelled after its first pages leaves their letter, list and
  // fields behind: a Save would write an empty letter over the one chosen.
  if (!made) document_.ResetProjectStorage();
  ShowDocumentState();
  return made;
}

void CPostridrApp::OnFileOpen() {
  QString folder;
  const std::string& current = document_.GetPathName();
  if (!current.empty()) {
    folder = QFileInfo(ShownPath(current)).absolutePath();
  } else if (!recentFiles_.empty()) {
    folder = QFileInfo(ShownPath(recentFiles_.at(0))).absolutePath();
  } else {
    folder = QDir::homePath();
  }
  std::optional<QString> chosen = ChooseProjectToOpen(frame_.get(), folder);
  if (!chosen) return;
  OpenDocumentFile(PathBytes(*chosen));
}

CPostridrApp::OpenResult CPostridrApp::OpenDocumentFile(const std::string& path) {
  document_.UpdateFromMessageViews();
  if (!document_.SaveModified()) return OpenResult::Cancelled;
  const bool opened = document_.OnOpenDocument(path);
  ShowDocumentState();
  return opened ? OpenResult::Opened : OpenResult::Failed;
}

void CPostridrApp::OnFileReopen() {
  // A copy: opening clears the document, its path with it.
  const std::string path = document_.GetPathName();
  if (path.empty()) return;
  OpenDocumentFile(path);
}

void CPostridrApp::OnOpenRecentFile(int index) {
  if (index < 0 || index >= recentFiles_.size()) return;
  const std::string path = recentFiles_.at(index);
  // Only a project that will not open leaves the list; a cancelled save
  // prompt keeps it.
  if (OpenDocumentFile(path) != OpenResult::Failed) return;
  recentFiles_.RemoveAndSave(SettingsFilePath(), path);
  ShowRecentFiles();
}

void CPostridrApp::OnAppAbout() {
  CAboutDlg about(frame_.get());
  about.exec();
}

}  // namespace postrider
