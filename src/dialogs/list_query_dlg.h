#pragma once

#include <QDialog>

#include <string>

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace postrider {

class CPostridrDoc;

// List > Select on Query...: one or two conditions (list field, operator,
// value text) joined by And or Or. The dialog only asks; the caller hands
// the seven answers to the document's SelectOnQuery.
class CListQueryDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CListQueryDlg(const CPostridrDoc& document, QWidget* parent = nullptr);

  // The answers, read from the controls: -1 where nothing is chosen.
  int firstField() const;
  int firstOperator() const;
  std::string firstValue() const;
  int join() const;  // -1 neither, 0 And, 1 Or
  int secondField() const;
  int secondOperator() const;
  std::string secondValue() const;

  QComboBox* firstFieldCombo() const { return firstField_; }
  QComboBox* firstOperatorCombo() const { return firstOperator_; }
  QLineEdit* firstValueEdit() const { return firstValue_; }
  QRadioButton* andButton() const { return and_; }
  QRadioButton* orButton() const { return or_; }
  QComboBox* secondFieldCombo() const { return secondField_; }
  QComboBox* secondOperatorCombo() const { return secondOperator_; }
  QLineEdit* secondValueEdit() const { return secondValue_; }
  QPushButton* okButton() const { return ok_; }
  QPushButton* cancelButton() const { return cancel_; }

 public slots:
  // A second condition with neither And nor Or would be left out without a
  // word, selecting others than meant: OK asks first, and No (the default)
  // goes back to the dialog.
  void accept() override;

 private:
  // Whether a condition may go ahead: it has a value, needs none, or the
  // user says an empty one is meant; otherwise the focus goes to its value.
  bool EmptyValueMeant(QComboBox* field, QComboBox* op, QLineEdit* value, const QString& which);
  QComboBox* firstField_ = nullptr;
  QComboBox* firstOperator_ = nullptr;
  QLineEdit* firstValue_ = nullptr;
  QRadioButton* and_ = nullptr;
  QRadioButton* or_ = nullptr;
  QComboBox* secondField_ = nullptr;
  QComboBox* secondOperator_ = nullptr;
  QLineEdit* secondValue_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
};

// Runs the dialog over `parent` and, on OK, applies the query to the
// document. Cancel changes nothing.
void RunListQuery(CPostridrDoc& document, QWidget* parent);

}  // namespace postrider
