#include "camera/indi/IndiFrameQueue.h"

#include <utility>

namespace nebulor::camera::indi {

std::size_t IndiFrameQueue::bytesOf(const ReceivedFrame& frame) {
  return frame.pixels == nullptr ? 0 : frame.pixels->pixels.size() * sizeof(std::uint16_t);
}

void IndiFrameQueue::push(ReceivedFrame frame) {
  std::lock_guard lock(mutex_);
  frame.sequence = ++received_;
  bytes_ += bytesOf(frame);
  frames_.push_back(std::move(frame));
  while (frames_.size() > 1 && (frames_.size() > kMostFrames || bytes_ > kMostBytes)) {
    bytes_ -= bytesOf(frames_.front());
    frames_.pop_front();
  }
}

std::optional<ReceivedFrame> IndiFrameQueue::pop() {
  std::lock_guard lock(mutex_);
  if (frames_.empty()) return std::nullopt;
  ReceivedFrame frame = std::move(frames_.front());
  frames_.pop_front();
  bytes_ -= bytesOf(frame);
  return frame;
}

}  // namespace nebulor::camera::indi
