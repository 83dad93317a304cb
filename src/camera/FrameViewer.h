#pragma once

#include <memory>

#include "stars/StarFinder.h"

namespace nebulor::camera {

// Where a backend shows what it receives: the latest image and the star
// images it measured on it. The image window implements it; backends hold
// an optional pointer and call it on the user-interface thread.
class FrameViewer {
 public:
  virtual ~FrameViewer() = default;

  virtual void showFrame(std::shared_ptr<const stars::Frame> frame) = 0;
  virtual void showCentroid(const stars::Centroid& star) = 0;
};

}  // namespace nebulor::camera
