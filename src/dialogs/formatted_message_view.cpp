#include "dialogs/formatted_message_view.h"

#include <QButtonGroup>
#include <QHBoxLayout>
#include <QImage>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

#include "views/shared_fonts.h"

namespace postrider {

CarriedContentBrowser::CarriedContentBrowser(QWidget* parent) : QTextBrowser(parent) {
  setOpenLinks(false);
  setOpenExternalLinks(false);
}

QVariant CarriedContentBrowser::loadResource(int type, const QUrl& name) {
  if (type != QTextDocument::ImageResource || name.scheme().compare(QStringLiteral("cid"),
                                                                    Qt::CaseInsensitive) != 0) {
    return {};
  }
  const auto found = carried_.find(name.path());
  if (found == carried_.end()) return {};
  QImage image;
  if (!image.loadFromData(found->second)) return {};
  return image;
}

FormattedMessageView::FormattedMessageView(QWidget* parent) : QWidget(parent) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  auto* switches = new QHBoxLayout;
  formatted_ = new QRadioButton(QStringLiteral("&Formatted"), this);
  formatted_->setAccessibleName(QStringLiteral("Formatted"));
  formatted_->setChecked(true);
  plain_ = new QRadioButton(QStringLiteral("Plain &text part"), this);
  plain_->setAccessibleName(QStringLiteral("Plain text part"));
  auto* group = new QButtonGroup(this);
  group->addButton(formatted_);
  group->addButton(plain_);
  switches->addWidget(formatted_);
  switches->addWidget(plain_);
  switches->addStretch(1);
  layout->addLayout(switches);

  stack_ = new QStackedWidget(this);
  html_ = new CarriedContentBrowser(stack_);
  html_->setAccessibleName(QStringLiteral("Formatted message"));
  text_ = new QPlainTextEdit(stack_);
  text_->setReadOnly(true);
  text_->setFont(GetSharedFonts().fixed);
  text_->setAccessibleName(QStringLiteral("Plain text part"));
  stack_->addWidget(html_);
  stack_->addWidget(text_);
  layout->addWidget(stack_, 1);
  connect(plain_, &QRadioButton::toggled, this, &FormattedMessageView::ShowTextPart);
}

void FormattedMessageView::SetParts(const QString& html, const QString& text,
                                    std::map<QString, QByteArray> pictures) {
  html_->SetCarried(std::move(pictures));
  // Pictures of the message shown before are not kept.
  html_->document()->clear();
  html_->setHtml(html);
  text_->setPlainText(text);
}

void FormattedMessageView::ShowTextPart(bool text) {
  // A radio button of a group is unchecked by checking the other.
  (text ? plain_ : formatted_)->setChecked(true);
  stack_->setCurrentWidget(text ? static_cast<QWidget*>(text_) : html_);
}

}  // namespace postrider
