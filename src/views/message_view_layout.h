#pragma once

#include <QRect>

namespace postrider {

// Where the message view puts its band and controls, in the view's pixels,
// scaled with the desktop's font scaling so the text keeps fitting.
struct MessageViewLayout {
  int bandHeight = 50;  // the grey band; the message text starts below it
  QRect toLabel{4, 3, 54, 20};
  QRect subjectLabel{4, 26, 54, 20};
  QRect toCombo{60, 3, 300, 20};
  QRect subjectEdit{60, 26, 300, 20};

  // The layout for a scale of 1 or more (1 gives the figures above). Labels
  // whose text needs more than their rectangle (a desktop font wider than the
  // one the band was drawn for) widen it, and the controls move right with them.
  static MessageViewLayout Scaled(double scale, int labelTextWidth = 0);
  // The message text fills the view below the band.
  QRect MessageEditRect(int viewWidth, int viewHeight) const;
  // The Subject line reaches to the view's right edge, less the band's left
  // margin; `subjectEdit` gives its place and height.
  QRect SubjectEditRect(int viewWidth) const;
};

}  // namespace postrider
