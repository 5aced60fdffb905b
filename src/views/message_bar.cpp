#include "views/message_bar.h"

#include <QAccessible>
#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>

namespace postrider {

namespace {

// The warning tint that desktop message bars use, mixed into the window's
// own colour so it reads in light and dark themes alike.
const QColor kWarning(246, 116, 0);

QColor Mix(const QColor& base, const QColor& tint, double share) {
  return QColor::fromRgbF(static_cast<float>(base.redF() * (1 - share) + tint.redF() * share),
                          static_cast<float>(base.greenF() * (1 - share) + tint.greenF() * share),
                          static_cast<float>(base.blueF() * (1 - share) + tint.blueF() * share));
}

}  // namespace

MessageBar::MessageBar(const QString& name, const QString& actionText, QWidget* parent)
    : QFrame(parent),
      icon_(new QLabel(this)),
      text_(new QLabel(this)),
      action_(new QPushButton(actionText, this)),
      close_(new QToolButton(this)) {
  setObjectName(QStringLiteral("MessageBar"));
  setAccessibleName(name);
  setFrameShape(QFrame::NoFrame);
  setAutoFillBackground(false);

  const int iconSize = style()->pixelMetric(QStyle::PM_SmallIconSize, nullptr, this);
  icon_->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning, nullptr, this)
                       .pixmap(iconSize, iconSize));
  // The text says it all; the picture adds nothing to read out.
  icon_->setAccessibleName(QStringLiteral("Warning"));

  text_->setTextFormat(Qt::PlainText);
  text_->setWordWrap(true);
  text_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  action_->setAccessibleName(QString(actionText).remove(QLatin1Char('&')));
  action_->setAutoDefault(false);
  connect(action_, &QPushButton::clicked, this, &MessageBar::actionTriggered);

  close_->setIcon(style()->standardIcon(QStyle::SP_TitleBarCloseButton, nullptr, this));
  close_->setAutoRaise(true);
  close_->setAccessibleName(QStringLiteral("Close"));
  close_->setAccessibleDescription(QStringLiteral("Put the message away"));
  close_->setToolTip(QStringLiteral("Close"));
  close_->setFocusPolicy(Qt::StrongFocus);
  connect(close_, &QToolButton::clicked, this, [this] {
    hide();
    emit dismissed();
  });

  auto* layout = new QHBoxLayout(this);
  const int margin = style()->pixelMetric(QStyle::PM_LayoutLeftMargin, nullptr, this) / 2 + 2;
  layout->setContentsMargins(margin, margin / 2 + 1, margin, margin / 2 + 1);
  layout->addWidget(icon_, 0, Qt::AlignVCenter);
  layout->addWidget(text_, 1);
  layout->addWidget(action_, 0, Qt::AlignVCenter);
  layout->addWidget(close_, 0, Qt::AlignVCenter);

  ApplyColours();
  hide();
}

void MessageBar::SetText(const QString& text) {
  text_->setText(text);
  setAccessibleDescription(text);
}

QString MessageBar::text() const { return text_->text(); }

void MessageBar::Announce() {
  if (isVisible()) return;
  show();
  QAccessibleEvent alert(this, QAccessible::Alert);
  QAccessible::updateAccessibility(&alert);
}

void MessageBar::ApplyColours() {
  // The application's colours: the bar's own palette takes the tint once the
  // style sheet is set.
  const QColor window = QApplication::palette().color(QPalette::Window);
  // Only the bar itself: its buttons keep the style's own look.
  setStyleSheet(QStringLiteral("#MessageBar { margin: 3px; background-color: %1; border: 1px solid %2;"
                               " border-radius: 4px; }")
                    .arg(Mix(window, kWarning, 0.2).name(), kWarning.name()));
}

}  // namespace postrider
