#pragma once

#include <string>

namespace postrider {

class CPostridrDoc;

// The list pane: rows are drawn on demand from the document.
class IProjectView {
 public:
  virtual ~IProjectView() = default;
  virtual void FillList() = 0;           // rebuild the rows from the document
  virtual void RedrawList() = 0;         // draw every visible row again
  virtual void ShowEntry(int index) = 0; // make the row current and visible; toggles nothing
  // The list's entries or fields are about to change (a project closing, a new
  // list loading). Rows drawn from here until the next FillList would show the
  // wrong entries, so a pane drops them now, while the old list is still open;
  // a message box shown while a project is half loaded then paints no row.
  virtual void ListAboutToChange() {}
  // The selection mark or the send status of one entry changed.
  virtual void EntryMarkChanged(int /*index*/) {}
};

// The message pane keeps the working copy of subject, email field and text.
class IMessageView {
 public:
  virtual ~IMessageView() = default;
  virtual void LoadFromDocument() = 0;
  // Stores the pane's contents into the document, marking it modified when they differ.
  virtual void UpdateDocument() = 0;
  virtual void InsertAtCaret(const std::string& text) = 0;
  virtual void InsertAtStart(const std::string& text) = 0;
};

// The main window's side of the document.
class IMainFrame {
 public:
  virtual ~IMainFrame() = default;
  // The document becomes the current one; the insert-field menu follows its fields.
  virtual void AttachDocument(CPostridrDoc* document) = 0;
  virtual void SetCurrentProjectPath(const std::string& path) = 0;
  virtual void ShowSelectedCount(long count) = 0;  // "%ld Selected" in status pane 1
  virtual void SetStatusText(const std::string& text) = 0;  // status pane 1
  virtual void ShowHelpContents() = 0;
};

}  // namespace postrider
