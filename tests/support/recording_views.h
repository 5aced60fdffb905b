#pragma once

#include <string>
#include <utility>
#include <vector>

#include "project/document_views.h"
#include "project/postridr_doc.h"
#include "support/recording_prompts.h"

namespace postrider::testing {

// Counts what the document asks of a list pane.
class RecordingProjectView : public IProjectView {
 public:
  void FillList() override { ++fillCount; }
  void RedrawList() override { ++redrawCount; }
  void ShowEntry(int index) override { shownEntries.push_back(index); }
  void ListAboutToChange() override { ++listChangeNotices; }
  void EntryMarkChanged(int index) override { changedMarks.push_back(index); }

  int fillCount = 0;
  int redrawCount = 0;
  std::vector<int> shownEntries;
  int listChangeNotices = 0;
  std::vector<int> changedMarks;
};

// A message pane with a working copy: UpdateDocument stores it into the
// document the way the desktop's pane does, marking the document modified
// only when something differs.
class RecordingMessageView : public IMessageView {
 public:
  explicit RecordingMessageView(CPostridrDoc& document) : document_(document) {}

  void LoadFromDocument() override;
  void UpdateDocument() override;
  void InsertAtCaret(const std::string& text) override { body += text; }
  void InsertAtStart(const std::string& text) override { body.insert(0, text); }

  // The pane's contents, as the user left them.
  std::string subject;
  std::string body;
  int emailFieldIndex = -1;
  int loadCount = 0;
  int updateCount = 0;

 private:
  CPostridrDoc& document_;
};

// The main window's side: remembers what it was told.
class RecordingMainFrame : public IMainFrame {
 public:
  void AttachDocument(CPostridrDoc* document) override {
    attached = document;
    ++attachCount;
  }
  void SetCurrentProjectPath(const std::string& path) override { projectPaths.push_back(path); }
  void ShowSelectedCount(long count) override { selectedCounts.push_back(count); }
  void SetStatusText(const std::string& text) override { statusText = text; }
  void ShowHelpContents() override { ++helpShown; }

  CPostridrDoc* attached = nullptr;
  int attachCount = 0;
  std::vector<std::string> projectPaths;
  std::vector<long> selectedCounts;
  std::string statusText;
  int helpShown = 0;
};

// The files of a small project in folder: the list, a letter, the entry state
// file if marks are given, and the project file naming them by relative path.
struct TestProject {
  explicit TestProject(std::string list, std::string entryMarks = std::string(32000, '\0'),
                       int type = DBTypeTab)
      : listText(std::move(list)), listSourceType(type), marks(std::move(entryMarks)) {}

  std::string listText;
  int listSourceType;
  std::string letterText = "To: \nFrom:  \nSubject: Hello\nDear [[Name]],\n";
  std::string marks;  // entry state file bytes; none written when empty
  int emailFieldIndex = 1;
  std::string emailFieldName = "Email";
  int lastIndexSent = 0;
};

// Writes the files and returns the project file's path.
std::string WriteTestProject(const std::string& folder, const TestProject& project,
                             const std::string& name = "project");

// A document wired to one of each recording double.
struct RecordedDocument {
  RecordedDocument();
  ~RecordedDocument();
  RecordedDocument(const RecordedDocument&) = delete;
  RecordedDocument& operator=(const RecordedDocument&) = delete;

  CPostridrDoc document;
  RecordingPrompts prompts;
  RecordingMainFrame frame;
  RecordingProjectView projectView;
  RecordingMessageView messageView{document};

  // Opens a project written by WriteTestProject into folder.
  bool Open(const std::string& folder, const TestProject& project);
};

}  // namespace postrider::testing
