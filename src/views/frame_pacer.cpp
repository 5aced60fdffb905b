#include "views/frame_pacer.h"

namespace postrider {

FramePacer::FramePacer(std::function<void()> show, std::chrono::milliseconds frame,
                       QObject* parent)
    : QObject(parent), show_(std::move(show)), frame_(frame) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, &FramePacer::ShowNow);
}

void FramePacer::Request() {
  pending_ = true;
  if (timer_.isActive()) return;
  const auto sinceShown = std::chrono::steady_clock::now() - lastShown_;
  if (sinceShown >= frame_) {
    ShowNow();
    return;
  }
  timer_.start(std::chrono::ceil<std::chrono::milliseconds>(frame_ - sinceShown));
}

void FramePacer::Flush() {
  if (pending_) ShowNow();
}

void FramePacer::ShowNow() {
  timer_.stop();
  if (!pending_) return;
  pending_ = false;
  lastShown_ = std::chrono::steady_clock::now();
  ++shown_;
  show_();
}

}  // namespace postrider
