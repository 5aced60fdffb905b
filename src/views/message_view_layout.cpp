#include "views/message_view_layout.h"

#include <algorithm>
#include <cmath>

namespace postrider {

namespace {

int Scale(int pixels, double scale) { return static_cast<int>(std::lround(pixels * scale)); }

QRect Scale(const QRect& rect, double scale) {
  return QRect(Scale(rect.x(), scale), Scale(rect.y(), scale), Scale(rect.width(), scale),
               Scale(rect.height(), scale));
}

}  // namespace

MessageViewLayout MessageViewLayout::Scaled(double scale, int labelTextWidth) {
  scale = std::max(1.0, scale);
  MessageViewLayout layout;
  layout.bandHeight = Scale(layout.bandHeight, scale);
  layout.toLabel = Scale(layout.toLabel, scale);
  layout.subjectLabel = Scale(layout.subjectLabel, scale);
  layout.toCombo = Scale(layout.toCombo, scale);
  layout.subjectEdit = Scale(layout.subjectEdit, scale);
  const int overflow = labelTextWidth - layout.toLabel.width();
  if (overflow > 0) {
    layout.toLabel.setWidth(labelTextWidth);
    layout.subjectLabel.setWidth(labelTextWidth);
    layout.toCombo.translate(overflow, 0);
    layout.subjectEdit.translate(overflow, 0);
  }
  return layout;
}

QRect MessageViewLayout::SubjectEditRect(int viewWidth) const {
  QRect rect = subjectEdit;
  // However narrow the view, the field keeps room for a few characters.
  rect.setWidth(std::max(viewWidth - rect.x() - toLabel.x(), 2 * rect.height()));
  return rect;
}

QRect MessageViewLayout::MessageEditRect(int viewWidth, int viewHeight) const {
  return QRect(0, bandHeight, std::max(0, viewWidth), std::max(0, viewHeight - bandHeight));
}

}  // namespace postrider
