#include "views/entry_list_model.h"

#include "views/display_text.h"

namespace postrider {

namespace {

QString SendStatusText(int status) {
  switch (status) {
    case StatusNone:
      return QStringLiteral("not sent");
    case StatusSent:
      return QStringLiteral("sent");
    case StatusBadAddress:
      return QStringLiteral("bad address");
    case StatusHalted:
      return QStringLiteral("halted");
    default:
      return {};
  }
}

}  // namespace

QString EntryMarkText(bool selected, int sendStatus) {
  QString text = selected ? QStringLiteral("selected") : QStringLiteral("not selected");
  const QString status = SendStatusText(sendStatus);
  if (!status.isEmpty()) text += QStringLiteral(", ") + status;
  return text;
}

EntryListModel::EntryListModel(const CPostridrDoc& document, QObject* parent)
    : QAbstractTableModel(parent), document_(document) {}

int EntryListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

int EntryListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() || fields_ == 0 ? 0 : fields_ + 1;
}

Qt::ItemFlags EntryListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  // Picking happens through the entry marks, not the view's own selection.
  return Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
    return {};
  }
  const int row = index.row();
  const bool markColumn = index.column() == kMarkColumn;
  switch (role) {
    case Qt::DisplayRole:
      // The mark shows as an icon.
      if (markColumn) return {};
      return ValueText(row, index.column() - 1);
    case Qt::ToolTipRole:
      // A value cut short shows whole in its tip.
      if (markColumn) return {};
      return PlainTip(ValueText(row, index.column() - 1));
    case Qt::AccessibleTextRole:
      if (!markColumn) return {};
      return EntryMarkText(document_.IsEntrySelected(row) != 0, document_.GetEntryStatus(row));
    case Qt::AccessibleDescriptionRole:
      // Whichever cell a screen reader is on, it can tell whether the entry is picked.
      return EntryMarkText(document_.IsEntrySelected(row) != 0, document_.GetEntryStatus(row));
    default:
      return {};
  }
}

QVariant EntryListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
  if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole) return {};
  // The mark column's header draws no text; this names it for screen readers.
  if (section == kMarkColumn) return QStringLiteral("Status");
  return ShownText(document_.GetFieldNames()[static_cast<std::size_t>(section - 1)]);
}

void EntryListModel::Rebuild() {
  beginResetModel();
  fields_ = document_.GetFieldCount();
  rows_ = fields_ > 0 ? document_.GetEntryCount() : 0;
  recordRow_ = -1;
  endResetModel();
}

void EntryListModel::Drop() {
  if (rows_ == 0 && fields_ == 0) return;
  beginResetModel();
  rows_ = 0;
  fields_ = 0;
  recordRow_ = -1;
  endResetModel();
}

void EntryListModel::RowsChanged(int first, int last) {
  first = std::max(first, 0);
  last = std::min(last, rows_ - 1);
  if (first > last || fields_ == 0) return;
  emit dataChanged(index(first, 0), index(last, fields_));
}

const ListRecord* EntryListModel::ReadRow(int row) const {
  if (row < 0 || row >= rows_) return nullptr;
  if (row != recordRow_) {
    ++recordReads_;
    recordRow_ = row;
    recordRead_ = document_.ReadListRecord(row, record_);
  }
  return recordRead_ ? &record_ : nullptr;
}

QString EntryListModel::ValueText(int row, int field) const {
  const ListRecord* record = ReadRow(row);
  if (record == nullptr) return {};
  return ShownText(record->ValueAt(field));
}

}  // namespace postrider
