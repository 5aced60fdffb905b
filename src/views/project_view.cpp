#include "views/project_view.h"

#include <QResizeEvent>

#include "project/postridr_doc.h"
#include "views/column_header_strip.h"
#include "views/entry_list_model.h"
#include "views/entry_list_view.h"
#include "views/entry_row_delegate.h"
#include "views/shared_fonts.h"

namespace postrider {

namespace {

// Rows are drawn in fixed colours (black and light grey text, white-backed
// icons), so the list keeps a white background whatever the desktop's theme.
void UseWhiteBackground(QWidget* list) {
  QPalette palette = list->palette();
  palette.setColor(QPalette::Base, view_colors::kWhite);
  palette.setColor(QPalette::Text, view_colors::kBlack);
  // The one-pixel frame in the theme's own frame grey.
  palette.setColor(QPalette::WindowText, palette.color(QPalette::Dark));
  list->setPalette(palette);
}

}  // namespace

CProjectView::CProjectView(CPostridrDoc& document, QWidget* parent)
    : QWidget(parent),
      document_(document),
      metrics_(ProjectViewMetrics::ForDesktop()),
      model_(new EntryListModel(document, this)),
      strip_(new ColumnHeaderStrip(document, metrics_, this)),
      list_(new EntryListView(this)),
      delegate_(new EntryRowDelegate(*model_, [this] { return width(); }, metrics_, this)) {
  setAccessibleName(QStringLiteral("Project view"));

  // A frame of exactly one pixel: the rows' columns start one pixel left of
  // the header cells, and the frame makes them line up on screen.
  list_->setFrameStyle(QFrame::Box | QFrame::Plain);
  list_->setLineWidth(1);
  list_->setFont(GetSharedFonts().standard);
  UseWhiteBackground(list_);
  list_->setAccessibleName(QStringLiteral("Mailing list"));
  list_->setModel(model_);
  list_->setItemDelegate(delegate_);
  connect(list_, &EntryListView::rowPicked, this, &CProjectView::OnListSelChange);

  document_.AddView(this);
  FillList();
}

CProjectView::~CProjectView() { document_.RemoveView(this); }

QAbstractItemView* CProjectView::entryList() const { return list_; }
QAbstractItemModel* CProjectView::entryModel() const { return model_; }
QWidget* CProjectView::headerStrip() const { return strip_; }

void CProjectView::FillList() {
  model_->Rebuild();
  strip_->FieldsChanged();
}

void CProjectView::RedrawList() { list_->viewport()->update(); }

void CProjectView::ShowEntry(int index) { list_->ShowRow(index); }

void CProjectView::ListAboutToChange() {
  model_->Drop();
  strip_->update();
}

void CProjectView::EntryMarkChanged(int index) { model_->RowChanged(index); }

void CProjectView::OnListSelChange(int row) {
  if (row < 0 || row >= model_->rowCount()) return;
  document_.ToggleEntrySelection(row);
  document_.SetModifiedFlag(true);
}

void CProjectView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  const int w = width();
  const int h = height();
  strip_->setGeometry(0, 0, w, metrics_.stripHeight);
  list_->setGeometry(0, metrics_.stripHeight, w, std::max(0, h - metrics_.stripHeight));
  // Every column width follows the view's width, so every row changes.
  list_->viewport()->update();
  strip_->update();
}

}  // namespace postrider
