#include "dialogs/formatted_message_view.h"

#include <QBuffer>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QImage>
#include <QImageReader>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QStackedWidget>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <iterator>
#include <span>
#include <vector>

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

// The elements an element of `name` may sit in, as Qt places it: one opened
// elsewhere closes the open elements until it reaches one of them.
std::span<const char* const> ContextOf(const QString& name) {
  static constexpr const char* kCell[] = {"tr"};
  static constexpr const char* kRow[] = {"table", "thead", "tbody", "tfoot"};
  static constexpr const char* kTablePart[] = {"table"};
  static constexpr const char* kTerm[] = {"dl"};
  static constexpr const char* kDefinition[] = {"dt", "dl"};
  if (name == u"td" || name == u"th") return kCell;
  if (name == u"tr") return kRow;
  if (name == u"thead" || name == u"tbody" || name == u"tfoot" || name == u"caption") {
    return kTablePart;
  }
  if (name == u"dt") return kTerm;
  if (name == u"dd") return kDefinition;
  return {};
}

bool IsOneOf(const QString& name, std::span<const char* const> names) {
  for (const char* one : names) {
    if (name == QLatin1String(one)) return true;
  }
  return false;
}

// Whether the elements of `html` nest deeper than `limit` as Qt nests them:
// comments, declarations and empty elements add no depth, a paragraph or list
// item closes the one it would sit in, a cell, row or term closes what lies
// between it and its table or list, and a closing tag with no element of its
// name open closes nothing.
bool NestsDeeperThan(QStringView html, int limit) {
  std::vector<QString> open;
  for (qsizetype at = html.indexOf(u'<'); at >= 0; at = html.indexOf(u'<', at + 1)) {
    const qsizetype end = html.indexOf(u'>', at);
    if (end < 0) break;
    QStringView tag = html.mid(at + 1, end - at - 1);
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
    const bool closing = tag.startsWith(u'/');
    if (closing) tag = tag.mid(1);
    qsizetype nameEnd = 0;
    while (nameEnd < tag.size() && !tag[nameEnd].isSpace()) ++nameEnd;
    const QString name = tag.left(nameEnd).toString().toLower();
    if (closing) {
      const auto found = std::find(open.rbegin(), open.rend(), name);
      if (found != open.rend()) open.erase(std::prev(found.base()), open.end());
      continue;
    }
    if (IsVoidElement(name)) continue;
    if ((name == u"p" || name == u"li") && !open.empty() && open.back() == name) open.pop_back();
    if (const auto context = ContextOf(name); !context.empty()) {
      while (!open.empty() && !IsOneOf(open.back(), context)) open.pop_back();
    }
    open.push_back(name);
    if (static_cast<int>(open.size()) > limit) return true;
  }
  return false;
}

bool IsCarried(const QUrl& name) {
  return name.scheme().compare(QStringLiteral("cid"), Qt::CaseInsensitive) == 0;
}

// What stands in for a carried picture that will not decode: Qt's broken
// picture sign would read as a fault in the message, which goes out whole.
QString UnshownPictureText(const QByteArray& bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer);
  const QSize size = reader.size();
  const qint64 limitBytes = qint64(QImageReader::allocationLimit()) * 1024 * 1024;
  if (size.isValid() && limitBytes > 0 && qint64(size.width()) * size.height() * 4 > limitBytes) {
    return QStringLiteral("[A picture of %1 \u00d7 %2 pixels, too large to show here; it is sent as "
                          "it is.]").arg(size.width()).arg(size.height());
  }
  return QStringLiteral("[A picture that cannot be shown here; it is sent as it is.]");
}

}  // namespace

CarriedContentBrowser::CarriedContentBrowser(QWidget* parent) : QTextBrowser(parent) {
  setOpenLinks(false);
  setOpenExternalLinks(false);
}

void CarriedContentBrowser::SetCarried(std::map<QString, QByteArray> pictures) {
  carried_ = std::move(pictures);
  // Only what the message shown now carries stays decoded.
  for (auto it = decoded_.begin(); it != decoded_.end();) {
    it = carried_.count(it->first) != 0 ? std::next(it) : decoded_.erase(it);
  }
}

QVariant CarriedContentBrowser::loadResource(int type, const QUrl& name) {
  if (type != QTextDocument::ImageResource || !IsCarried(name)) return {};
  const auto found = carried_.find(name.path());
  if (found == carried_.end()) return {};
  auto known = decoded_.find(found->first);
  // The bytes decide, not the name: a message's Content-ID is its own to give.
  if (known == decoded_.end() || known->second.bytes != found->second) {
    QImage image;
    if (!image.loadFromData(found->second)) image = QImage();
    known = decoded_.insert_or_assign(found->first, Decoded{found->second, std::move(image)}).first;
  }
  if (known->second.image.isNull()) return {};
  return known->second.image;
}

void CarriedContentBrowser::ReplaceUnshownPictures() {
  struct Unshown {
    int position;
    int length;
    QString text;
    QTextCharFormat format;
  };
  std::vector<Unshown> unshown;
  QTextDocument* shown = document();
  for (QTextBlock block = shown->begin(); block.isValid(); block = block.next()) {
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextFragment fragment = it.fragment();
      if (!fragment.charFormat().isImageFormat()) continue;
      const QUrl name(fragment.charFormat().toImageFormat().name());
      if (!IsCarried(name)) continue;
      const auto found = carried_.find(name.path());
      if (found == carried_.end()) continue;
      // The document keeps what it decodes here for its layout.
      if (!shown->resource(QTextDocument::ImageResource, name).isNull()) continue;
      // In the letter's own type, not as a picture.
      QTextCharFormat format = fragment.charFormat();
      format.setObjectType(QTextFormat::NoObject);
      format.clearProperty(QTextFormat::ImageName);
      unshown.push_back(
          {fragment.position(), fragment.length(), UnshownPictureText(found->second), format});
    }
  }
  // From the end, so the earlier positions hold.
  for (auto it = unshown.rbegin(); it != unshown.rend(); ++it) {
    QTextCursor cursor(shown);
    cursor.setPosition(it->position);
    cursor.setPosition(it->position + it->length, QTextCursor::KeepAnchor);
    cursor.insertText(it->text, it->format);
  }
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
    html_->ReplaceUnshownPictures();
  }
  text_->setPlainText(text);
}

void FormattedMessageView::ShowTextPart(bool text) {
  // A radio button of a group is unchecked by checking the other.
  (text ? plain_ : formatted_)->setChecked(true);
  stack_->setCurrentWidget(text ? static_cast<QWidget*>(text_) : html_);
}

}  // namespace postrider
