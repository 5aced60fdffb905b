#pragma once

#include <QAbstractTableModel>

#include <cstdint>

#include "project/postridr_doc.h"

namespace postrider {

// The mailing list as a table: one row per list entry, in entry order; the
// first column is the entry's mark (its status icon, read aloud as "selected,
// sent"), then one column per list field. It keeps nothing per row: values
// are read from the list file through the document when they are asked for
// (painted or read out by a screen reader), the last row read kept so that
// its cells do not read it again. Marks always come from the document.
class EntryListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  static constexpr int kMarkColumn = 0;

  explicit EntryListModel(const CPostridrDoc& document, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Takes the document's entries and fields (no rows when the list has no fields).
  void Rebuild();
  // Shows no rows until the next Rebuild: the document's list is changing.
  void Drop();
  // The marks of rows `first` to `last` changed: those rows are drawn again.
  void RowsChanged(int first, int last);

  // The values of `row`'s entry; null when they cannot be read. Valid until
  // the next read of another row.
  const ListRecord* ReadRow(int row) const;
  // Records read from the list file so far, painting and screen readers alike.
  std::int64_t recordReads() const { return recordReads_; }
  // The text of field `field` (0-based) of `row`, as the list shows it.
  QString ValueText(int row, int field) const;

  const CPostridrDoc& document() const { return document_; }

 private:
  const CPostridrDoc& document_;
  int rows_ = 0;
  int fields_ = 0;
  mutable ListRecord record_;
  mutable int recordRow_ = -1;  // the row record_ holds, -1 for none
  mutable bool recordRead_ = false;
  mutable std::int64_t recordReads_ = 0;
};

// How an entry's mark reads aloud: "selected" or "not selected", then the status.
QString EntryMarkText(bool selected, int sendStatus);

}  // namespace postrider
