#pragma once

#include <QWidget>

#include "project/document_views.h"
#include "views/project_view_geometry.h"

class QAbstractItemModel;
class QAbstractItemView;

namespace postrider {

class CPostridrDoc;
class ColumnHeaderStrip;
class EntryListModel;
class EntryListView;
class EntryRowDelegate;

// The upper pane: the column header strip and, below it, the mailing list,
// one row per entry, painted on demand from the list file. A click on a row
// (or a keyboard move onto it) toggles that entry's selection.
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

  QAbstractItemView* entryList() const;
  QAbstractItemModel* entryModel() const;
  QWidget* headerStrip() const;
  EntryRowDelegate* rowDelegate() const { return delegate_; }
  const ProjectViewMetrics& metrics() const { return metrics_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void OnListSelChange(int row);

  CPostridrDoc& document_;
  ProjectViewMetrics metrics_;
  EntryListModel* model_;
  ColumnHeaderStrip* strip_;
  EntryListView* list_;
  EntryRowDelegate* delegate_;
};

}  // namespace postrider
