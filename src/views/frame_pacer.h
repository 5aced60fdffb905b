#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>
#include <functional>

namespace postrider {

// Shows something that changes faster than anyone can read it at most once a
// frame. Request says it changed: it is shown at once when the last showing
// is a frame ago, else when that frame is over. Flush shows a change still
// waiting now. However fast the changes come, the last one is always shown.
class FramePacer : public QObject {
  Q_OBJECT

 public:
  static constexpr std::chrono::milliseconds kFrame{33};  // about 30 a second

  explicit FramePacer(std::function<void()> show, std::chrono::milliseconds frame = kFrame,
                      QObject* parent = nullptr);

  void Request();
  void Flush();
  bool pending() const { return pending_; }
  // How many times it has shown, for those who count.
  long long shown() const { return shown_; }

 private:
  void ShowNow();

  std::function<void()> show_;
  std::chrono::milliseconds frame_;
  QTimer timer_;
  std::chrono::steady_clock::time_point lastShown_{};
  bool pending_ = false;
  long long shown_ = 0;
};

}  // namespace postrider
