#include "dialogs/letter_options_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "project/postridr_doc.h"
#include "send/letter_run.h"
#include "views/display_text.h"

namespace postrider {

namespace {

constexpr int kPlainText = 0;
constexpr int kMarkdown = 1;

}  // namespace

CLetterOptionsDlg::CLetterOptionsDlg(const CPostridrDoc& document, QWidget* parent)
    : QDialog(parent), document_(document), loaded_(document.GetLetterOptions()) {
  setWindowTitle(QStringLiteral("Letter Options"));
  setAccessibleName(windowTitle());
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  layout->addLayout(form);

  format_ = new QComboBox(this);
  format_->addItem(QStringLiteral("Plain text"));
  format_->addItem(QStringLiteral("Markdown (formatted, with a plain text part)"));
  format_->setAccessibleName(QStringLiteral("Format"));
  format_->setCurrentIndex(loaded_.format == MessageFormat::Markdown ? kMarkdown : kPlainText);
  form->addRow(QStringLiteral("&Format:"), format_);

  mergeSubject_ = new QCheckBox(QStringLiteral("Fill merge fields in the &subject"), this);
  mergeSubject_->setAccessibleName(QStringLiteral("Fill merge fields in the subject"));
  mergeSubject_->setChecked(loaded_.mergeSubject);
  form->addRow(mergeSubject_);

  fieldChoices_.emplace_back();
  for (const std::string& name : document_.GetFieldNames()) fieldChoices_.push_back(name);
  ccField_ = MakeFieldCombo(QStringLiteral("Cc field"), loaded_.ccField);
  form->addRow(QStringLiteral("Cc f&ield:"), ccField_);
  bccField_ = MakeFieldCombo(QStringLiteral("Bcc field"), loaded_.bccField);
  form->addRow(QStringLiteral("&Bcc field:"), bccField_);
  bcc_ = MakeEdit(QStringLiteral("Bcc address"), loaded_.bcc, QStringLiteral("me@example.org"));
  form->addRow(QStringLiteral("Bcc &address:"), bcc_);
  replyTo_ = MakeEdit(QStringLiteral("Reply-To"), loaded_.replyTo,
                      QStringLiteral("office@example.org"));
  form->addRow(QStringLiteral("&Reply-To:"), replyTo_);
  unsubscribeMailto_ = MakeEdit(QStringLiteral("Unsubscribe address"), loaded_.unsubscribeMailto,
                                QStringLiteral("unsubscribe@example.org"));
  form->addRow(QStringLiteral("&Unsubscribe address:"), unsubscribeMailto_);
  unsubscribeUrl_ = MakeEdit(QStringLiteral("Unsubscribe link"), loaded_.unsubscribeUrl,
                             QStringLiteral("https://example.org/unsubscribe?id=[[Id]]"));
  form->addRow(QStringLiteral("Unsubscribe &link:"), unsubscribeUrl_);

  problem_ = new QLabel(this);
  problem_->setTextFormat(Qt::PlainText);
  problem_->setWordWrap(true);
  // Named by its text, so that a screen reader reads why OK did nothing.
  problem_->setAccessibleDescription(QStringLiteral("Problem"));
  QPalette warning = problem_->palette();
  warning.setColor(QPalette::WindowText, QColor(0xA0, 0x00, 0x00));
  problem_->setPalette(warning);
  problem_->hide();
  layout->addWidget(problem_);

  auto* buttons = new QDialogButtonBox(this);
  ok_ = buttons->addButton(QDialogButtonBox::Ok);
  ok_->setAccessibleName(QStringLiteral("OK"));
  cancel_ = buttons->addButton(QDialogButtonBox::Cancel);
  cancel_->setAccessibleName(QStringLiteral("Cancel"));
  layout->addWidget(buttons);
  connect(ok_, &QPushButton::clicked, this, &CLetterOptionsDlg::OnOk);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  format_->setFocus();
}

QComboBox* CLetterOptionsDlg::MakeFieldCombo(const QString& name, const std::string& chosen) {
  auto* combo = new QComboBox(this);
  combo->setAccessibleName(name);
  combo->setAccessibleDescription(
      QStringLiteral("The list field whose addresses (separated by commas) each message gets"));
  combo->addItem(QStringLiteral("(none)"));
  for (std::size_t i = 1; i < fieldChoices_.size(); ++i) combo->addItem(ShownText(fieldChoices_[i]));
  int index = 0;
  for (std::size_t i = 1; i < fieldChoices_.size(); ++i) {
    if (fieldChoices_[i] == chosen) index = static_cast<int>(i);
  }
  // A field the list no longer has stays shown, so OK can say so rather
  // than drop it unseen.
  if (index == 0 && !chosen.empty()) {
    combo->addItem(ShownText(chosen) + QStringLiteral(" (not in the list)"), true);
    index = combo->count() - 1;
  }
  combo->setCurrentIndex(index);
  return combo;
}

QLineEdit* CLetterOptionsDlg::MakeEdit(const QString& name, const std::string& value,
                                       const QString& example) {
  auto* edit = new QLineEdit(ShownText(value), this);
  edit->setAccessibleName(name);
  edit->setPlaceholderText(example);
  edit->setClearButtonEnabled(true);
  return edit;
}

std::string CLetterOptionsDlg::FieldOf(const QComboBox* combo) const {
  const int index = combo->currentIndex();
  if (index > 0 && static_cast<std::size_t>(index) < fieldChoices_.size()) {
    return fieldChoices_[static_cast<std::size_t>(index)];
  }
  if (index > 0) return combo == ccField_ ? loaded_.ccField : loaded_.bccField;
  return {};
}

// An unchanged value keeps its bytes, whatever encoding they had.
std::string CLetterOptionsDlg::TextOf(const QLineEdit* edit, const std::string& loaded) const {
  const QString text = edit->text().trimmed();
  if (text == ShownText(loaded)) return loaded;
  return text.toStdString();
}

LetterOptions CLetterOptionsDlg::options() const {
  LetterOptions options;
  options.format = format_->currentIndex() == kMarkdown ? MessageFormat::Markdown
                                                        : MessageFormat::Text;
  options.mergeSubject = mergeSubject_->isChecked();
  options.ccField = FieldOf(ccField_);
  options.bccField = FieldOf(bccField_);
  options.bcc = TextOf(bcc_, loaded_.bcc);
  options.replyTo = TextOf(replyTo_, loaded_.replyTo);
  options.unsubscribeMailto = TextOf(unsubscribeMailto_, loaded_.unsubscribeMailto);
  options.unsubscribeUrl = TextOf(unsubscribeUrl_, loaded_.unsubscribeUrl);
  return options;
}

void CLetterOptionsDlg::OnOk() {
  const Status usable = CheckLetterOptions(options(), document_.GetFieldNames());
  if (usable) {
    accept();
    return;
  }
  problem_->setText(ShownText(usable.message()));
  problem_->show();
  // The keyboard goes to the value to mend, whose name a screen reader reads with the problem.
  if (QWidget* control = FirstUnusableControl()) {
    control->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(control)) edit->selectAll();
  }
}

QWidget* CLetterOptionsDlg::FirstUnusableControl() const {
  // Each value checked alone, in the order the whole is checked in.
  const LetterOptions all = options();
  const std::vector<std::string> names = document_.GetFieldNames();
  const auto unusable = [&](auto set) {
    LetterOptions alone;
    set(alone);
    return !CheckLetterOptions(alone, names);
  };
  if (unusable([&](LetterOptions& o) { o.ccField = all.ccField; })) return ccField_;
  if (unusable([&](LetterOptions& o) { o.bccField = all.bccField; })) return bccField_;
  if (unusable([&](LetterOptions& o) { o.bcc = all.bcc; })) return bcc_;
  if (unusable([&](LetterOptions& o) { o.replyTo = all.replyTo; })) return replyTo_;
  if (unusable([&](LetterOptions& o) { o.unsubscribeMailto = all.unsubscribeMailto; })) {
    return unsubscribeMailto_;
  }
  if (unusable([&](LetterOptions& o) { o.unsubscribeUrl = all.unsubscribeUrl; })) {
    return unsubscribeUrl_;
  }
  return nullptr;
}

bool RunLetterOptions(CPostridrDoc& document, QWidget* parent) {
  CLetterOptionsDlg dialog(document, parent);
  if (dialog.exec() != QDialog::Accepted) return false;
  const LetterOptions before = document.GetLetterOptions();
  document.SetLetterOptions(dialog.options());
  return document.GetLetterOptions() != before;
}

}  // namespace postrider
