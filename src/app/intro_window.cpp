#include "app/intro_window.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <QStyleOptionFrame>

namespace postrider {

CIntroWnd::CIntroWnd(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      picture_(QStringLiteral(":/pictures/intro.svg")) {
  setFixedSize(kWidth, kHeight);
  setWindowTitle(QStringLiteral("Postrider"));
  setAccessibleName(QStringLiteral("Postrider"));
  setAccessibleDescription(QStringLiteral("Postrider is starting"));
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void CIntroWnd::ShowCentred() {
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect desktop = screen->geometry();
    move(desktop.left() + (desktop.width() - kWidth) / 2,
         desktop.top() + (desktop.height() - kHeight) / 2);
  }
  show();
  raise();
}

void CIntroWnd::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  // The window's own raised frame, as a dialog frame would draw it.
  QStyleOptionFrame frame;
  frame.initFrom(this);
  frame.rect = rect();
  frame.lineWidth = 2;
  frame.midLineWidth = 0;
  frame.state |= QStyle::State_Raised;
  style()->drawPrimitive(QStyle::PE_Frame, &frame, &painter, this);
  if (picture_.isValid()) {
    const int left = (kWidth - kPictureWidth) / 2;
    const int top = (kHeight - kPictureHeight) / 2;
    picture_.render(&painter, QRectF(left, top, kPictureWidth, kPictureHeight));
  }
}

}  // namespace postrider
