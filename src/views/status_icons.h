#pragma once

#include <QPixmap>
#include <QString>

#include <array>

namespace postrider {

// The four send-status icons, each rendered once into a pixmap at the screen's
// device pixel ratio and reused for every row. A status without an icon, or an
// icon file that is missing, gives a null pixmap: the row shows no icon.
class StatusIcons {
 public:
  static constexpr int kIconCount = 4;  // none, sent, bad address, halted

  // `folder` holds none.svg, sent.svg, bad-address.svg and halted.svg.
  explicit StatusIcons(int size, QString folder = QStringLiteral(":/icons/status/"));

  const QPixmap& Pixmap(int status, qreal devicePixelRatio) const;
  int size() const { return size_; }

 private:
  void Render(qreal devicePixelRatio) const;

  int size_;
  QString folder_;
  mutable qreal renderedRatio_ = 0;
  mutable std::array<QPixmap, kIconCount> pixmaps_;
};

}  // namespace postrider
