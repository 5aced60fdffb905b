#include "dialogs/attachment_problems_dlg.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <set>

#include "views/display_text.h"

namespace postrider {

namespace {

QString SummaryText(const std::vector<AttachmentProblem>& problems, bool forEveryEntry) {
  if (forEveryEntry) {
    return QStringLiteral(
        "The letter's attachments cannot go with any message. Nothing has been sent: mend what "
        "is listed and send again.");
  }
  std::set<int> entries;
  for (const AttachmentProblem& problem : problems) entries.insert(problem.entry);
  const QString count = entries.size() == 1 ? QStringLiteral("1 entry")
                                            : QStringLiteral("%1 entries").arg(entries.size());
  return QStringLiteral(
             "The attachments of %1 cannot go. Nothing has been sent yet.\nUnselect %2 and send "
             "to the others, or cancel the run?")
      .arg(count, entries.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"));
}

QTableWidgetItem* Cell(const QString& text) {
  auto* item = new QTableWidgetItem(text);
  item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
  item->setToolTip(PlainTip(text));
  return item;
}

}  // namespace

CAttachmentProblemsDlg::CAttachmentProblemsDlg(const std::vector<AttachmentProblem>& problems,
                                               QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Attachments"));
  setAccessibleName(windowTitle());
  const bool forEveryEntry = std::any_of(problems.begin(), problems.end(),
                                         [](const AttachmentProblem& p) { return p.ForEveryEntry(); });
  auto* layout = new QVBoxLayout(this);

  // The letter's own problems are listed wherever they stand.
  std::vector<std::size_t> listed;
  for (std::size_t i = 0; i < problems.size(); ++i) {
    if (i < static_cast<std::size_t>(kListedRows) || problems[i].ForEveryEntry()) {
      listed.push_back(i);
    }
  }
  QString summary = SummaryText(problems, forEveryEntry);
  if (listed.size() < problems.size()) {
    summary += QStringLiteral("\nThe first %1 of the %2 files that cannot go are listed.")
                   .arg(listed.size())
                   .arg(problems.size());
  }
  summary_ = new QLabel(summary, this);
  summary_->setTextFormat(Qt::PlainText);
  summary_->setWordWrap(true);
  summary_->setAccessibleDescription(QStringLiteral("Summary"));
  layout->addWidget(summary_);

  table_ = new QTableWidget(static_cast<int>(listed.size()), 4, this);
  table_->setAccessibleName(QStringLiteral("Attachments that cannot go"));
  table_->setHorizontalHeaderLabels(
      {QStringLiteral("Entry"), QStringLiteral("Recipient"), QStringLiteral("File"), QStringLiteral("Reason")});
  table_->verticalHeader()->hide();
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  // Tab leaves the table for the buttons; the arrows move in it.
  table_->setTabKeyNavigation(false);
  // Paths and reasons are long: they wrap rather than hide behind a scroll bar.
  table_->setWordWrap(true);
  table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  for (int row = 0; row < table_->rowCount(); ++row) {
    const AttachmentProblem& problem = problems[listed[static_cast<std::size_t>(row)]];
    table_->setItem(row, 0, Cell(problem.ForEveryEntry() ? QStringLiteral("All")
                                                         : QString::number(problem.entry + 1)));
    table_->setItem(row, 1, Cell(ShownText(problem.recipient)));
    table_->setItem(row, 2, Cell(ShownPath(problem.path)));
    table_->setItem(row, 3, Cell(ShownText(problem.reason)));
  }
  QHeaderView* header = table_->horizontalHeader();
  header->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  header->setSectionResizeMode(1, QHeaderView::ResizeToContents);
  header->setSectionResizeMode(2, QHeaderView::Stretch);
  header->setSectionResizeMode(3, QHeaderView::Stretch);
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
  layout->addWidget(table_, 1);

  auto* buttons = new QHBoxLayout;
  unselect_ = new QPushButton(QStringLiteral("&Unselect and Send"), this);
  unselect_->setAccessibleName(QStringLiteral("Unselect and Send"));
  unselect_->setEnabled(!forEveryEntry && !problems.empty());
  cancel_ = new QPushButton(QStringLiteral("Cancel"), this);
  cancel_->setAccessibleName(QStringLiteral("Cancel"));
  cancel_->setDefault(true);
  cancel_->setAutoDefault(true);
  unselect_->setAutoDefault(false);
  buttons->addStretch(1);
  buttons->addWidget(unselect_);
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);
  connect(unselect_, &QPushButton::clicked, this, [this] {
    unselectAndGoOn_ = true;
    accept();
  });
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  const QFontMetrics metrics(font());
  resize(metrics.averageCharWidth() * 110, metrics.height() * 20);
  cancel_->setFocus();
}

bool QtAttachmentProblemsPrompt::UnselectAndGoOn(const std::vector<AttachmentProblem>& problems) {
  CAttachmentProblemsDlg dialog(problems, parent_);
  dialog.exec();
  if (dialog.unselectAndGoOn()) skipped_ = problems;
  return dialog.unselectAndGoOn();
}

}  // namespace postrider
