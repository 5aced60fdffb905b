#include "views/project_view.h"

#include <QAccessible>
#include <QHeaderView>
#include <QResizeEvent>

#include <algorithm>

#include "project/postridr_doc.h"
#include "views/entry_list_model.h"
#include "views/entry_list_view.h"
#include "views/entry_row_delegate.h"
#include "views/shared_fonts.h"

namespace postrider {

CProjectView::CProjectView(CPostridrDoc& document, QWidget* parent)
    : QWidget(parent),
      document_(document),
      metrics_(ProjectViewMetrics::ForFont(GetSharedFonts().standard)),
      model_(new EntryListModel(document, this)),
      list_(new EntryListView(this)),
      delegate_(new EntryRowDelegate(*model_, metrics_, this)) {
  setAccessibleName(QStringLiteral("Project view"));
  list_->setFont(GetSharedFonts().standard);
  list_->setAccessibleName(QStringLiteral("Mailing list"));
  list_->SetRowHeight(metrics_.rowHeight);
  list_->SetMarkColumnWidth(metrics_.iconColumnWidth);
  list_->setModel(model_);
  list_->setItemDelegate(delegate_);
  list_->horizontalHeader()->setAccessibleName(QStringLiteral("List fields"));
  setFocusProxy(list_);
  connect(list_, &EntryListView::rowPicked, this, &CProjectView::OnListSelChange);

  document_.AddView(this);
  FillList();
}

CProjectView::~CProjectView() { document_.RemoveView(this); }

QAbstractItemView* CProjectView::entryList() const { return list_; }
QAbstractItemModel* CProjectView::entryModel() const { return model_; }
QHeaderView* CProjectView::headerStrip() const { return list_->horizontalHeader(); }

void CProjectView::FillList() {
  heldFirst_ = heldLast_ = heldCurrent_ = -1;
  model_->Rebuild();
}

void CProjectView::RedrawList() { list_->viewport()->update(); }

void CProjectView::ShowEntry(int index) {
  if (requestShow_) {
    heldCurrent_ = index;
    requestShow_();
    return;
  }
  list_->ShowRow(index);
}

void CProjectView::ListAboutToChange() {
  heldFirst_ = heldLast_ = heldCurrent_ = -1;
  model_->Drop();
}

void CProjectView::EntryMarkChanged(int index) {
  if (requestShow_) {
    heldFirst_ = heldFirst_ < 0 ? index : std::min(heldFirst_, index);
    heldLast_ = std::max(heldLast_, index);
    requestShow_();
    return;
  }
  model_->RowsChanged(index, index);
}

void CProjectView::HoldChanges(std::function<void()> requestShow) {
  requestShow_ = std::move(requestShow);
}

void CProjectView::ShowHeldChanges() {
  if (heldFirst_ >= 0) model_->RowsChanged(heldFirst_, heldLast_);
  heldFirst_ = heldLast_ = -1;
  if (heldCurrent_ >= 0) list_->ShowRow(heldCurrent_);
  heldCurrent_ = -1;
}

void CProjectView::ReleaseChanges() {
  ShowHeldChanges();
  requestShow_ = nullptr;
}

void CProjectView::OnListSelChange(int row) {
  if (row < 0 || row >= model_->rowCount()) return;
  // Toggling marks the document modified, unless it is open only to be looked at.
  document_.ToggleEntrySelection(row);
  AnnounceMark(row);
}

// A screen reader on the list hears the picked entry's new mark.
void CProjectView::AnnounceMark(int row) {
  if (!QAccessible::isActive()) return;
  QAccessibleInterface* list = QAccessible::queryAccessibleInterface(list_);
  QAccessibleTableInterface* table = list != nullptr ? list->tableInterface() : nullptr;
  if (table == nullptr) return;
  const auto tell = [&](int column, QAccessible::Event what) {
    QAccessibleInterface* cell = table->cellAt(row, column);
    if (cell == nullptr) return;
    QAccessibleEvent changed(list_, what);
    changed.setChild(list->indexOfChild(cell));
    QAccessible::updateAccessibility(&changed);
  };
  tell(EntryListModel::kMarkColumn, QAccessible::NameChanged);
  const QModelIndex current = list_->currentIndex();
  if (current.row() == row && current.column() != EntryListModel::kMarkColumn) {
    tell(current.column(), QAccessible::DescriptionChanged);
  }
}

void CProjectView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  list_->setGeometry(rect());
}

}  // namespace postrider
