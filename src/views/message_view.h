#pragma once

#include <QKeySequence>
#include <QWidget>

#include <string>

#include "project/document_views.h"
#include "views/letter_text.h"
#include "views/message_view_layout.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;

namespace postrider {

class CPostridrDoc;
class FormatBar;
class SubjectEdit;

// The lower pane: a grey band with the To choice (which list field holds the
// addresses) and the Subject, above the letter's text. The document holds the
// letter; the pane keeps the working copy between LoadFromDocument and
// UpdateDocument.
class CMessageView : public QWidget, public IMessageView {
  Q_OBJECT

 public:
  explicit CMessageView(CPostridrDoc& document, QWidget* parent = nullptr);
  ~CMessageView() override;
  CMessageView(const CMessageView&) = delete;
  CMessageView& operator=(const CMessageView&) = delete;

  // IMessageView
  void LoadFromDocument() override;
  void UpdateDocument() override;
  void InsertAtCaret(const std::string& text) override;
  void InsertAtStart(const std::string& text) override;

  // The edit commands act on the message text whichever control has the focus.
  void Undo();
  void Cut();
  void Copy();
  void Paste();
  bool CanUndo() const;
  bool HasTextSelection() const;
  bool CanPaste() const;

  QPlainTextEdit* messageEdit() const { return messageEdit_; }
  QComboBox* toCombo() const { return toCombo_; }
  QLineEdit* subjectEdit() const;
  FormatBar* formatBar() const { return formatBar_; }
  // The format bar shows over a Markdown letter; LoadFromDocument sets it
  // from the project's letter options.
  void ShowFormatBar(bool shown);
  const MessageViewLayout& layout() const { return layout_; }

  // The message text as the edit holds it, line breaks as "\n".
  QString MessageText() const;

 signals:
  // Undo, Cut, Copy or Paste may have become possible or impossible.
  void editStateChanged();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void PlaceControls();
  QLabel* MakeLabel(const QString& text, QWidget* control);
  void OnToComboSelChange(int index);
  void OnSubjectEditKey(QKeySequence::StandardKey key);
  void InsertText(const std::string& text);

  CPostridrDoc& document_;
  MessageViewLayout layout_;
  QPlainTextEdit* messageEdit_;
  QComboBox* toCombo_;
  SubjectEdit* subjectEdit_;
  FormatBar* formatBar_;
  QLabel* toLabel_;
  QLabel* subjectLabel_;
  LetterText loadedSubject_;
  LetterText loadedBody_;
};

}  // namespace postrider
