#pragma once

#include <QDialog>

#include <string>
#include <vector>

#include "project/letter_options.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace postrider {

class CPostridrDoc;

// Message > Letter Options...: how each recipient's message is made beyond
// the letter (format, subject fields, Cc, Bcc, Reply-To, unsubscribe). OK
// checks the options against the list and stays open, saying what is wrong,
// until they can be used.
class CLetterOptionsDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CLetterOptionsDlg(const CPostridrDoc& document, QWidget* parent = nullptr);

  // The options as the controls hold them.
  LetterOptions options() const;

  QComboBox* formatCombo() const { return format_; }
  QCheckBox* mergeSubjectBox() const { return mergeSubject_; }
  QComboBox* ccFieldCombo() const { return ccField_; }
  QComboBox* bccFieldCombo() const { return bccField_; }
  QLineEdit* bccEdit() const { return bcc_; }
  QLineEdit* replyToEdit() const { return replyTo_; }
  QLineEdit* unsubscribeMailtoEdit() const { return unsubscribeMailto_; }
  QLineEdit* unsubscribeUrlEdit() const { return unsubscribeUrl_; }
  QLabel* problemLabel() const { return problem_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }

 private:
  // The control holding the first value the check refuses; none when all pass.
  QWidget* FirstUnusableControl() const;
  QComboBox* MakeFieldCombo(const QString& name, const std::string& chosen);
  QLineEdit* MakeEdit(const QString& name, const std::string& value, const QString& example);
  std::string FieldOf(const QComboBox* combo) const;
  std::string TextOf(const QLineEdit* edit, const std::string& loaded) const;
  void OnOk();

  const CPostridrDoc& document_;
  LetterOptions loaded_;
  // The combo boxes' field names as the document holds them; item 0 is "(none)".
  std::vector<std::string> fieldChoices_;
  QComboBox* format_ = nullptr;
  QCheckBox* mergeSubject_ = nullptr;
  QComboBox* ccField_ = nullptr;
  QComboBox* bccField_ = nullptr;
  QLineEdit* bcc_ = nullptr;
  QLineEdit* replyTo_ = nullptr;
  QLineEdit* unsubscribeMailto_ = nullptr;
  QLineEdit* unsubscribeUrl_ = nullptr;
  QLabel* problem_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

// Runs the dialog over `parent`; OK gives the document the options (a
// change marks the project modified). Returns whether they changed.
bool RunLetterOptions(CPostridrDoc& document, QWidget* parent);

}  // namespace postrider
