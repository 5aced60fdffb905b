#pragma once

#include <QDialog>

#include <vector>

#include "send/attachment_check.h"
#include "send/attachment_problems_prompt.h"

class QLabel;
class QPushButton;
class QTableWidget;

namespace postrider {

// Before a run: every entry whose files cannot go (entry, recipient, file,
// reason) in one list, with the choice to unselect those entries and send
// to the others, or to cancel the run. Cancel is the default: Enter sends
// nothing. A problem of the letter itself, which no entry's unselecting
// mends, leaves Cancel as the only way on.
class CAttachmentProblemsDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAttachmentProblemsDlg(const std::vector<AttachmentProblem>& problems,
                                  QWidget* parent = nullptr);

  // The most problems of entries listed. Each row is laid out to its wrapped
  // text, which for a list of thousands held the window for many seconds;
  // the choice is for all of them, and the summary counts them all.
  static constexpr int kListedRows = 200;

  // True when the user chose to unselect the entries and go on.
  bool unselectAndGoOn() const { return unselectAndGoOn_; }

  QLabel* summary() const { return summary_; }
  QTableWidget* table() const { return table_; }
  QPushButton* unselectButton() const { return unselect_; }
  QPushButton* cancelButton() const { return cancel_; }

 private:
  QLabel* summary_ = nullptr;
  QTableWidget* table_ = nullptr;
  QPushButton* unselect_ = nullptr;
  QPushButton* cancel_ = nullptr;
  bool unselectAndGoOn_ = false;
};

// The run's question as that dialog, over `parent`.
class QtAttachmentProblemsPrompt : public IAttachmentProblemsPrompt {
 public:
  explicit QtAttachmentProblemsPrompt(QWidget* parent) : parent_(parent) {}
  bool UnselectAndGoOn(const std::vector<AttachmentProblem>& problems) override;

  // The problems whose entries the user chose to unselect, for the summary
  // after the run; a new run starts with none.
  const std::vector<AttachmentProblem>& skipped() const { return skipped_; }
  void ClearSkipped() { skipped_.clear(); }

 private:
  QWidget* parent_;
  std::vector<AttachmentProblem> skipped_;
};

}  // namespace postrider
