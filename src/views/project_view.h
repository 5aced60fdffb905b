#pragma once

#include <QWidget>

#include <functional>

#include "project/document_views.h"
#include "views/project_view_geometry.h"

class QAbstractItemModel;
class QAbstractItemView;
class QHeaderView;

namespace postrider {

class CPostridrDoc;
class EntryListModel;
class EntryListView;
class EntryRowDelegate;

// The upper pane: the mailing list as a table under its field names, one row
// per entry, painted on demand from the list file. A click on a row, or Space
// on the current row, toggles that entry's selection; moving the current row
// with the keyboard toggles nothing.
class CProjectView : public QWidget, public IProjectView {
  Q_OBJECT

 public:
  explicit CProjectView(CPostridrDoc& document, QWidget* parent = nullptr);
  ~CProjectView() override;
  CProjectView(const CProjectView&) = delete;
  CProjectView& operator=(const CProjectView&) = delete;

  // IProjectView
  void FillList() override;
  void RedrawList() override;
  void ShowEntry(int index) override;
  void ListAboutToChange() override;
  void EntryMarkChanged(int index) override;

  // A send run marks entries and moves the current row faster than anyone
  // can follow. While held, those changes are kept, `requestShow` is called
  // after each, and ShowHeldChanges shows the latest of them; ReleaseChanges
  // shows them and goes back to showing each change at once.
  void HoldChanges(std::function<void()> requestShow);
  void ShowHeldChanges();
  void ReleaseChanges();

  QAbstractItemView* entryList() const;
  QAbstractItemModel* entryModel() const;
  QHeaderView* headerStrip() const;
  EntryRowDelegate* rowDelegate() const { return delegate_; }
  const ProjectViewMetrics& metrics() const { return metrics_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void OnListSelChange(int row);
  void AnnounceMark(int row);

  CPostridrDoc& document_;
  ProjectViewMetrics metrics_;
  EntryListModel* model_;
  EntryListView* list_;
  EntryRowDelegate* delegate_;

  std::function<void()> requestShow_;  // set while changes are held
  int heldFirst_ = -1;  // the rows whose marks changed, -1 for none
  int heldLast_ = -1;
  int heldCurrent_ = -1;  // the row to make current, -1 for none
};

}  // namespace postrider
