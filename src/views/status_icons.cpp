#include "views/status_icons.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

namespace postrider {

namespace {

const QPixmap& NoIcon() {
  static const QPixmap none;  // made after the application, as pixmaps must be
  return none;
}

constexpr std::array<const char*, StatusIcons::kIconCount> kIconFiles = {
    "none.svg", "sent.svg", "bad-address.svg", "halted.svg"};

QPixmap RenderSvg(const QString& path, int size, qreal ratio) {
  if (!QFile::exists(path)) return {};
  QSvgRenderer renderer(path);
  if (!renderer.isValid()) return {};
  const int pixels = static_cast<int>(std::lround(size * ratio));
  QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
  image.fill(Qt::transparent);
  {
    QPainter painter(&image);
    renderer.render(&painter, QRectF(0, 0, pixels, pixels));
  }
  QPixmap pixmap = QPixmap::fromImage(image);
  pixmap.setDevicePixelRatio(ratio);
  return pixmap;
}

}  // namespace

StatusIcons::StatusIcons(int size, QString folder) : size_(size), folder_(std::move(folder)) {}

const QPixmap& StatusIcons::Pixmap(int status, qreal devicePixelRatio) const {
  if (status < 0 || status >= kIconCount) return NoIcon();
  if (devicePixelRatio != renderedRatio_) Render(devicePixelRatio);
  return pixmaps_[static_cast<std::size_t>(status)];
}

void StatusIcons::Render(qreal devicePixelRatio) const {
  renderedRatio_ = devicePixelRatio;
  for (std::size_t i = 0; i < pixmaps_.size(); ++i) {
    pixmaps_[i] = RenderSvg(folder_ + QLatin1String(kIconFiles[i]), size_, devicePixelRatio);
  }
}

}  // namespace postrider
