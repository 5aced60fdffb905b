#pragma once

#include <QSvgRenderer>
#include <QWidget>

namespace postrider {

// The start-up picture: 440 x 169 pixels in a 448 x 177 framed window,
// centred on the screen and kept above other windows.
class CIntroWnd : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kWidth = 448;
  static constexpr int kHeight = 177;
  static constexpr int kPictureWidth = 440;
  static constexpr int kPictureHeight = 169;

  explicit CIntroWnd(QWidget* parent = nullptr);

  // Shows the window in the middle of the primary screen.
  void ShowCentred();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QSvgRenderer picture_;
};

}  // namespace postrider
