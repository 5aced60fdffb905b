#pragma once

#include <QAbstractListModel>

#include <cstdint>

#include "project/postridr_doc.h"

namespace postrider {

// The mailing list as an item model: one row per list entry, in entry order.
// It keeps nothing per row; every value is read from the list file through
// the document when it is asked for (painted or read out by a screen reader).
class EntryListModel : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit EntryListModel(const CPostridrDoc& document, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

  // Takes the document's entries (none when the list has no fields).
  void Rebuild();
  // Shows no rows until the next Rebuild: the document's list is changing.
  void Drop();
  // One entry's mark changed: that row alone is drawn again.
  void RowChanged(int row);

  // Reads the entry of `row` into the model's one reused record; null when it
  // cannot be read. The record stays valid until the next read.
  const ListRecord* ReadRow(int row) const;
  // Records read so far, painting and screen readers alike.
  std::int64_t recordReads() const { return recordReads_; }

  const CPostridrDoc& document() const { return document_; }

 private:
  QString RowSummary(const ListRecord& record) const;
  QString RowDetails(const ListRecord& record) const;

  const CPostridrDoc& document_;
  int rows_ = 0;
  mutable ListRecord record_;
  mutable std::int64_t recordReads_ = 0;
};

// How a row's mark reads aloud: "selected" or "not selected", then the status.
QString EntryMarkText(bool selected, int sendStatus);

}  // namespace postrider
