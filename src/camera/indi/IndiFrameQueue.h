#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "stars/Frame.h"

namespace nebulor::camera::indi {

// A stream frame as libindi's thread received it: decoded, or why it
// could not be.
struct ReceivedFrame {
  std::shared_ptr<const stars::Frame> pixels;
  std::string error;
  double arrival = 0;          // s on the steady clock, taken on arrival
  std::uint64_t sequence = 0;  // frames received since the stream started, this one included
};

// Frames handed from libindi's thread to the measurement. push() never
// waits for the reader beyond the lock's few instructions; beyond
// kMostFrames or kMostBytes the oldest go, and the gap in the sequence
// says how many.
class IndiFrameQueue {
 public:
  static constexpr std::size_t kMostFrames = 256;
  static constexpr std::size_t kMostBytes = std::size_t{64} << 20;

  void push(ReceivedFrame frame);
  std::optional<ReceivedFrame> pop();

 private:
  static std::size_t bytesOf(const ReceivedFrame& frame);

  std::mutex mutex_;
  std::deque<ReceivedFrame> frames_;
  std::size_t bytes_ = 0;
  std::uint64_t received_ = 0;
};

}  // namespace nebulor::camera::indi
