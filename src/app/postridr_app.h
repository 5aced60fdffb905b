#pragma once

#include <QObject>

#include <memory>
#include <string>

#include "app/command_target.h"
#include "app/recent_file_list.h"
#include "project/postridr_doc.h"

namespace postrider {

class CIntroWnd;
class CMainFrame;
class DocumentCommands;
class QtUserPrompts;
class QtWizardPages;

// The application: the one project document, the main window, the recent-file
// list, and the start-up sequence. It is the last link of the command chain
// (New, Open, the recent files, About).
class CPostridrApp : public QObject, public ICommandTarget {
  Q_OBJECT

 public:
  enum class OpenResult { Opened, Failed, Cancelled };

  CPostridrApp();
  ~CPostridrApp() override;

  // The start-up: the recent files, the start-up picture for `pictureMs`, then
  // `project` when one is given (as the file manager does), else the last
  // project, or a new one through the wizard; a given project that does not
  // open leads on to the last one. The program ends (quitRequested) when that
  // wizard is cancelled. The picture waits on a timer, so the event loop must run.
  void Start(int pictureMs, const std::string& project = {});

  bool OnCommand(int id) override;
  bool QueryCommandState(int id, CommandState& state) const override;

  // New, after asking to save the project that is open.
  bool OnFileNew();
  void OnFileOpen();
  OpenResult OpenDocumentFile(const std::string& path);
  void OnOpenRecentFile(int index);
  // The project that is open, opened again from its files: the list as it is
  // now. The usual close path first (the save question when modified).
  void OnFileReopen();
  void OnAppAbout();

  CPostridrDoc& document() { return document_; }
  CMainFrame* mainFrame() const { return frame_.get(); }
  CIntroWnd* introWindow() const { return intro_.get(); }
  const RecentFileList& recentFiles() const { return recentFiles_; }

 signals:
  // The main window was closed, or the start-up wizard cancelled.
  void quitRequested();
  // The main window is up with a project in it.
  void started();

 private:
  void FinishStartUp();
  void CreateMainFrame();
  // Whatever New or Open did, the window shows what the document now holds.
  void ShowDocumentState();
  void RememberProject(const std::string& path);
  void ShowRecentFiles();

  CPostridrDoc document_;
  RecentFileList recentFiles_;
  std::string startProject_;
  std::unique_ptr<CIntroWnd> intro_;
  std::unique_ptr<CMainFrame> frame_;
  std::unique_ptr<QtUserPrompts> prompts_;
  std::unique_ptr<QtWizardPages> wizardPages_;
  std::unique_ptr<DocumentCommands> documentCommands_;
};

}  // namespace postrider
