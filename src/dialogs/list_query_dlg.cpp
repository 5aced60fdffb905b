#include "dialogs/list_query_dlg.h"

#include <QButtonGroup>
#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>

#include "project/list_query.h"
#include "project/postridr_doc.h"
#include "views/dialog_units.h"
#include "views/display_text.h"

namespace postrider {

namespace {

constexpr int kWidthUnits = 283;
constexpr int kHeightUnits = 84;

QComboBox* MakeCombo(QWidget* parent, const QString& name, const QRect& box) {
  auto* combo = new QComboBox(parent);
  combo->setGeometry(box);
  combo->setAccessibleName(name);
  combo->setEditable(false);
  return combo;
}

QLineEdit* MakeValueEdit(QWidget* parent, const QString& name, const QRect& box) {
  auto* edit = new QLineEdit(parent);
  edit->setGeometry(box);
  edit->setAccessibleName(name);
  return edit;
}

void FillOperators(QComboBox* combo) {
  for (std::string_view text : kQueryOperatorTexts) {
    combo->addItem(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
  }
  combo->setCurrentIndex(QueryEquals);
  // The box is narrower than its longest text; the list that drops down is not.
  combo->view()->setMinimumWidth(combo->view()->sizeHintForColumn(0) +
                                 2 * combo->view()->frameWidth() + 8);
}

// The list's field names, in list order; nothing is chosen yet.
void FillFields(QComboBox* combo, const CPostridrDoc& document) {
  for (const std::string& name : document.GetFieldNames()) combo->addItem(ShownText(name));
  combo->setCurrentIndex(-1);
}

std::string ValueBytes(const QLineEdit* edit) { return edit->text().toStdString(); }

}  // namespace

CListQueryDlg::CListQueryDlg(const CPostridrDoc& document, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("List Query"));
  setAccessibleName(windowTitle());
  const DialogUnits units(font());
  setFixedSize(units.ToPixels(kWidthUnits, kHeightUnits));

  firstField_ = MakeCombo(this, QStringLiteral("First field"), units.ToPixels(5, 9, 91, 12));
  firstOperator_ =
      MakeCombo(this, QStringLiteral("First operator"), units.ToPixels(100, 9, 84, 12));
  firstValue_ = MakeValueEdit(this, QStringLiteral("First value"), units.ToPixels(188, 9, 90, 12));

  and_ = new QRadioButton(QStringLiteral("And"), this);
  and_->setGeometry(units.ToPixels(13, 26, 26, 10));
  and_->setAccessibleName(QStringLiteral("And"));
  or_ = new QRadioButton(QStringLiteral("Or"), this);
  or_->setGeometry(units.ToPixels(42, 26, 23, 10));
  or_->setAccessibleName(QStringLiteral("Or"));
  // One group, so choosing one clears the other; neither is chosen at first.
  auto* join = new QButtonGroup(this);
  join->addButton(and_, 0);
  join->addButton(or_, 1);
  join->setExclusive(true);

  secondField_ = MakeCombo(this, QStringLiteral("Second field"), units.ToPixels(5, 41, 91, 12));
  secondOperator_ =
      MakeCombo(this, QStringLiteral("Second operator"), units.ToPixels(100, 41, 84, 12));
  secondValue_ =
      MakeValueEdit(this, QStringLiteral("Second value"), units.ToPixels(188, 41, 90, 12));

  ok_ = new QPushButton(QStringLiteral("&OK"), this);
  ok_->setGeometry(units.ToPixels(94, 65, 40, 14));
  ok_->setDefault(true);
  ok_->setAccessibleName(QStringLiteral("OK"));
  cancel_ = new QPushButton(QStringLiteral("&Cancel"), this);
  cancel_->setGeometry(units.ToPixels(147, 65, 40, 14));
  cancel_->setAccessibleName(QStringLiteral("Cancel"));
  connect(ok_, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  FillOperators(firstOperator_);
  FillOperators(secondOperator_);
  FillFields(firstField_, document);
  FillFields(secondField_, document);
  firstField_->setFocus();
}

int CListQueryDlg::firstField() const { return firstField_->currentIndex(); }
int CListQueryDlg::firstOperator() const { return firstOperator_->currentIndex(); }
std::string CListQueryDlg::firstValue() const { return ValueBytes(firstValue_); }
int CListQueryDlg::join() const {
  if (and_->isChecked()) return 0;
  if (or_->isChecked()) return 1;
  return -1;
}
int CListQueryDlg::secondField() const { return secondField_->currentIndex(); }
int CListQueryDlg::secondOperator() const { return secondOperator_->currentIndex(); }
std::string CListQueryDlg::secondValue() const { return ValueBytes(secondValue_); }

bool CListQueryDlg::EmptyValueMeant(QComboBox* field, QComboBox* op, QLineEdit* value,
                                    const QString& which) {
  if (field->currentIndex() < 0 || op->currentIndex() < 0 ||
      op->currentIndex() == QueryValidAddress || !value->text().isEmpty()) {
    return true;
  }
  // An Enter pressed before the value was typed would otherwise unselect
  // nearly every entry picked by hand.
  QMessageBox box(QMessageBox::Question, windowTitle(),
                  QStringLiteral("The %1 value is empty, so this selects the entries whose "
                                 "%2 %3 an empty value and unselects all others. Select on it?")
                      .arg(which, field->currentText(), op->currentText()),
                  QMessageBox::Yes | QMessageBox::No, this);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  if (box.exec() == QMessageBox::Yes) return true;
  value->setFocus(Qt::OtherFocusReason);
  return false;
}

void CListQueryDlg::accept() {
  if (!EmptyValueMeant(firstField_, firstOperator_, firstValue_, QStringLiteral("first"))) return;
  if (join() >= 0 &&
      !EmptyValueMeant(secondField_, secondOperator_, secondValue_, QStringLiteral("second"))) {
    return;
  }
  if (secondField() >= 0 && secondOperator() >= 0 && join() < 0) {
    QMessageBox box(QMessageBox::Question, windowTitle(),
                    QStringLiteral("The second condition is joined by neither And nor Or, so it "
                                   "is left out. Select on the first condition alone?"),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    if (box.exec() != QMessageBox::Yes) {
      and_->setFocus();
      return;
    }
  }
  QDialog::accept();
}

void RunListQuery(CPostridrDoc& document, QWidget* parent) {
  CListQueryDlg dialog(document, parent);
  if (dialog.exec() != QDialog::Accepted) return;
  document.SelectOnQuery(dialog.firstField(), dialog.firstOperator(), dialog.firstValue(),
                         dialog.join(), dialog.secondField(), dialog.secondOperator(),
                         dialog.secondValue());
}

}  // namespace postrider
