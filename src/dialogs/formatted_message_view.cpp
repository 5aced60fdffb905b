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

#include "views/display_text.h"
#include "views/shared_fonts.h"

namespace postrider {

namespace {

// Qt lays out nested blocks in time that grows with the square of their
// depth: a letter a few thousand lists deep held the window for minutes. No
// letter a person writes comes near this.
constexpr int kMaxShownDepth = 200;

bool IsVoidElement(QStringView name) {
  for (const char* empty : {"area", "base", "br", "col", "hr", "img", "input", "link", "meta",
                            "source", "wbr"}) {
    if (name.compare(QLatin1String(empty), Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

// Whether the elements of `html` nest deeper than `limit`; comments,
// declarations and empty elements add no depth.
bool NestsDeeperThan(QStringView html, int limit) {
  int depth = 0;
  for (qsizetype at = html.indexOf(u'<'); at >= 0; at = html.indexOf(u'<', at + 1)) {
    const qsizetype end = html.indexOf(u'>', at);
    if (end < 0) break;
    const QStringView tag = html.mid(at + 1, end - at - 1);
    if (tag.startsWith(u"!--")) {
      const qsizetype close = html.indexOf(u"-->", at);
      if (close < 0) break;
      at = close;
      continue;
    }
    at = end;
    if (tag.isEmpty() || tag.startsWith(u'!') || tag.startsWith(u'?') || tag.endsWith(u'/')) {
      continue;
    }
    if (tag.startsWith(u'/')) {
      if (depth > 0) --depth;
      continue;
    }
    qsizetype nameEnd = 0;
    while (nameEnd < tag.size() && !tag[nameEnd].isSpace()) ++nameEnd;
    if (IsVoidElement(tag.left(nameEnd))) continue;
    if (++depth > limit) return true;
  }
  return false;
}

}  // namespace

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
  // The plain part holds the formatted part's words.
  const QTextOption::WrapMode wrap = WrapModeFor(text);
  html_->setWordWrapMode(wrap);
  text_->setWordWrapMode(wrap);
  if (NestsDeeperThan(html, kMaxShownDepth)) {
    html_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    html_->setPlainText(QStringLiteral(
        "The formatted part nests more than %1 levels deep, too deep to show here. It is sent as "
        "it is; \"Plain text part\" shows the text.").arg(kMaxShownDepth));
  } else {
    html_->setHtml(html);
  }
  text_->setPlainText(text);
}

void FormattedMessageView::ShowTextPart(bool text) {
  // A radio button of a group is unchecked by checking the other.
  (text ? plain_ : formatted_)->setChecked(true);
  stack_->setCurrentWidget(text ? static_cast<QWidget*>(text_) : html_);
}

}  // namespace postrider
