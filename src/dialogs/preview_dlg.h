#pragma once

#include <QDialog>

#include "send/message_preview.h"
#include "send/user_settings.h"

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace postrider {

class CPostridrDoc;
class FormattedMessageView;

// Message > Preview: the message an entry would get, composed as Send
// composes it and shown as the recipient's mail program shows it. Previous
// and Next step through the selected entries. Nothing is sent, no mark
// changes.
class CPreviewDlg : public QDialog {
  Q_OBJECT

 public:
  // Opens on `entry` (the current row); with none, on the first selected entry.
  CPreviewDlg(CPostridrDoc& document, const UserSettings& settings, int entry,
              QWidget* parent = nullptr);

  int entry() const { return preview_.entry; }
  const MessagePreview& preview() const { return preview_; }
  QLabel* entryLabel() const { return entryLabel_; }
  QLabel* skipLabel() const { return skip_; }
  QPlainTextEdit* messageText() const { return text_; }
  // A formatted message: its headers, and its HTML or text part.
  QLabel* headersLabel() const { return headers_; }
  FormattedMessageView* formattedView() const { return formatted_; }
  // One line a file the message carries, or why it cannot; hidden without files.
  QListWidget* attachmentList() const { return attachments_; }
  QPushButton* previousButton() const { return previous_; }
  QPushButton* nextButton() const { return next_; }
  QPushButton* closeButton() const { return close_; }

  void ShowEntry(int entry);

 private:
  void Step(int step);
  void ShowFormatted();
  void ShowAttachments();

  CPostridrDoc& document_;
  const UserSettings& settings_;
  MessagePreview preview_;
  QLabel* entryLabel_ = nullptr;
  QLabel* skip_ = nullptr;
  QPlainTextEdit* text_ = nullptr;
  QLabel* headers_ = nullptr;
  FormattedMessageView* formatted_ = nullptr;
  QListWidget* attachments_ = nullptr;
  QPushButton* previous_ = nullptr;
  QPushButton* next_ = nullptr;
  QPushButton* close_ = nullptr;
};

}  // namespace postrider
