#include "views/entry_list_model.h"

#include <QStringList>

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
    : QAbstractListModel(parent), document_(document) {}

int EntryListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : rows_;
}

Qt::ItemFlags EntryListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  // Picking happens through the entry marks, not the view's own selection.
  return Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
  if (role != Qt::AccessibleTextRole && role != Qt::AccessibleDescriptionRole) return {};
  if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
    return {};
  }
  const ListRecord* record = ReadRow(index.row());
  if (record == nullptr) return {};
  return role == Qt::AccessibleTextRole ? RowSummary(*record) : RowDetails(*record);
}

void EntryListModel::Rebuild() {
  beginResetModel();
  rows_ = document_.GetFieldCount() > 0 ? document_.GetEntryCount() : 0;
  endResetModel();
}

void EntryListModel::Drop() {
  if (rows_ == 0) return;
  beginResetModel();
  rows_ = 0;
  endResetModel();
}

void EntryListModel::RowChanged(int row) {
  if (row < 0 || row >= rows_) return;
  const QModelIndex changed = index(row);
  emit dataChanged(changed, changed);
}

const ListRecord* EntryListModel::ReadRow(int row) const {
  if (row < 0 || row >= rows_) return nullptr;
  ++recordReads_;
  return document_.ReadListRecord(row, record_) ? &record_ : nullptr;
}

// "Ann, Smith, ann@example.com - selected, sent": the values a screen reader
// speaks for the row, empty ones left out.
QString EntryListModel::RowSummary(const ListRecord& record) const {
  QStringList values;
  const int fields = document_.GetFieldCount();
  for (int k = 0; k < fields; ++k) {
    const std::string& value = record.ValueAt(k);
    if (!value.empty()) values << ShownText(value);
  }
  return values.join(QStringLiteral(", ")) + QStringLiteral(" - ") +
         EntryMarkText(record.selection != 0, record.sendStatus);
}

// "FirstName: Ann; LastName: Smith; ...; selected, sent": each value with its field.
QString EntryListModel::RowDetails(const ListRecord& record) const {
  QStringList parts;
  const std::vector<std::string>& names = document_.GetFieldNames();
  for (std::size_t k = 0; k < names.size(); ++k) {
    parts << ShownText(names[k]) + QStringLiteral(": ") +
                 ShownText(record.ValueAt(static_cast<int>(k)));
  }
  parts << EntryMarkText(record.selection != 0, record.sendStatus);
  return parts.join(QStringLiteral("; "));
}

}  // namespace postrider
