#include "dialogs/preview_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

#include "dialogs/formatted_message_view.h"
#include "project/postridr_doc.h"
#include "send/attachment_check.h"
#include "views/display_text.h"
#include "views/shared_fonts.h"

namespace postrider {

namespace {

// A NUL shown as the symbol for one: a screen reader's bus ends text at a
// NUL, so the rest of the message would go unread.
QString Readable(QString text) {
  text.replace(QChar(0), QChar(0x2400));
  return text;
}

}  // namespace

CPreviewDlg::CPreviewDlg(CPostridrDoc& document, const UserSettings& settings, int entry,
                         QWidget* parent)
    : QDialog(parent), document_(document), settings_(settings) {
  setWindowTitle(QStringLiteral("Preview"));
  setAccessibleName(windowTitle());
  auto* layout = new QVBoxLayout(this);

  entryLabel_ = new QLabel(this);
  entryLabel_->setTextFormat(Qt::PlainText);
  // The labels are named by their text, which is what a screen reader must
  // read as it changes; the descriptions say what each one is.
  entryLabel_->setAccessibleDescription(QStringLiteral("Entry"));
  layout->addWidget(entryLabel_);

  skip_ = new QLabel(this);
  skip_->setTextFormat(Qt::PlainText);
  skip_->setWordWrap(true);
  skip_->setAccessibleDescription(QStringLiteral("Would be skipped"));
  QPalette warning = skip_->palette();
  warning.setColor(QPalette::WindowText, QColor(0xA0, 0x00, 0x00));
  skip_->setPalette(warning);
  layout->addWidget(skip_);

  text_ = new QPlainTextEdit(this);
  text_->setReadOnly(true);
  text_->setFont(GetSharedFonts().fixed);
  text_->setAccessibleName(QStringLiteral("Message"));
  layout->addWidget(text_, 1);

  headers_ = new QLabel(this);
  headers_->setTextFormat(Qt::PlainText);
  headers_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  headers_->setAccessibleDescription(QStringLiteral("Headers"));
  layout->addWidget(headers_);
  formatted_ = new FormattedMessageView(this);
  layout->addWidget(formatted_, 1);
  attachments_ = new QListWidget(this);
  attachments_->setAccessibleName(QStringLiteral("Attachments"));
  attachments_->setSelectionMode(QAbstractItemView::NoSelection);
  layout->addWidget(attachments_);

  auto* buttons = new QHBoxLayout;
  previous_ = new QPushButton(QStringLiteral("&Previous"), this);
  previous_->setAccessibleName(QStringLiteral("Previous"));
  next_ = new QPushButton(QStringLiteral("&Next"), this);
  next_->setAccessibleName(QStringLiteral("Next"));
  close_ = new QPushButton(QStringLiteral("&Close"), this);
  close_->setAccessibleName(QStringLiteral("Close"));
  close_->setDefault(true);
  buttons->addWidget(previous_);
  buttons->addWidget(next_);
  buttons->addStretch(1);
  buttons->addWidget(close_);
  layout->addLayout(buttons);
  connect(previous_, &QPushButton::clicked, this, [this] { Step(-1); });
  connect(next_, &QPushButton::clicked, this, [this] { Step(+1); });
  connect(close_, &QPushButton::clicked, this, &QDialog::accept);

  const QFontMetrics metrics(GetSharedFonts().fixed);
  resize(metrics.averageCharWidth() * 84, metrics.height() * 30);

  if (entry < 0 || entry >= document_.GetEntryCount()) entry = NextSelectedEntry(document_, -1, 1);
  ShowEntry(entry);
}

void CPreviewDlg::ShowEntry(int entry) {
  const int entries = document_.GetEntryCount();
  if (entry < 0 || entry >= entries) {
    preview_ = MessagePreview{};
    entryLabel_->setText(entries == 0 ? QStringLiteral("The project has no list entries.")
                                      : QStringLiteral("No entry is selected."));
    skip_->hide();
    text_->clear();
    preview_.formatted = {};
    ShowFormatted();
    attachments_->clear();
    attachments_->hide();
    previous_->setEnabled(false);
    next_->setEnabled(false);
    return;
  }
  preview_ = PreviewMessage(document_, entry, settings_);
  // A letter its options cannot make (a picture that cannot go, a Cc value
  // that is no address) is still composed, as plain text: shown without a
  // word, it would pass for the message Send makes, which Send never sends.
  if (preview_.skipReason.empty() && !preview_.problem.empty()) {
    preview_.skipReason = "Send would not send this message: " + preview_.problem;
  }
  entryLabel_->setText(QStringLiteral("Entry %1 of %2: %3")
                           .arg(entry + 1)
                           .arg(entries)
                           .arg(Readable(ShownText(preview_.recipient))));
  skip_->setText(Readable(ShownText(preview_.skipReason)));
  skip_->setVisible(!preview_.skipReason.empty());
  const QString text = Readable(ShownText(preview_.text));
  text_->setWordWrapMode(WrapModeFor(text));
  text_->setPlainText(text);
  ShowFormatted();
  ShowAttachments();
  previous_->setEnabled(NextSelectedEntry(document_, entry, -1) >= 0);
  next_->setEnabled(NextSelectedEntry(document_, entry, +1) >= 0);
}

void CPreviewDlg::ShowFormatted() {
  const FormattedParts& parts = preview_.formatted;
  const bool formatted = !parts.html.empty();
  text_->setVisible(!formatted);
  headers_->setVisible(formatted);
  formatted_->setVisible(formatted);
  if (!formatted) return;
  // The headers as the plain view shows them, without the body after them.
  const std::size_t end = preview_.text.find("\n\n");
  headers_->setText(Readable(ShownText(std::string_view(preview_.text).substr(0, end))));
  std::map<QString, QByteArray> pictures;
  for (const auto& [contentId, bytes] : parts.pictures) {
    pictures[QString::fromStdString(contentId)] =
        QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
  }
  formatted_->SetParts(Readable(QString::fromStdString(parts.html)), Readable(ShownText(parts.text)),
                       std::move(pictures));
}

void CPreviewDlg::ShowAttachments() {
  attachments_->clear();
  for (const PreviewAttachment& attachment : preview_.attachments) {
    const QString name = ShownText(ShownPathText(attachment.name));
    QString line = attachment.problem.empty()
                       ? QStringLiteral("%1 (%2, %3)")
                             .arg(name, ShownText(attachment.contentType),
                                  ShownText(SizeText(attachment.size)))
                       : QStringLiteral("%1: %2").arg(ShownText(ShownPathText(attachment.path)),
                                                      ShownText(attachment.problem));
    auto* item = new QListWidgetItem(line, attachments_);
    item->setToolTip(PlainTip(ShownText(ShownPathText(attachment.path))));
    if (!attachment.problem.empty()) item->setForeground(QColor(0xA0, 0x00, 0x00));
  }
  // As high as its lines, up to five; more scroll.
  const int rows = std::min(attachments_->count(), 5);
  const int rowHeight = rows > 0 ? attachments_->sizeHintForRow(0) : 0;
  attachments_->setFixedHeight(rows * rowHeight + 2 * attachments_->frameWidth() + 2);
  attachments_->setVisible(!preview_.attachments.empty());
}

void CPreviewDlg::Step(int step) {
  const int next = NextSelectedEntry(document_, preview_.entry, step);
  if (next >= 0) ShowEntry(next);
}

}  // namespace postrider
