#pragma once

#include <memory>
#include <set>
#include <string>

#include "camera/Automation.h"
#include "camera/ImageDisplay.h"
#include "camera/sim/SimFaults.h"
#include "stars/StarFinder.h"

namespace nebulor::camera::sim {

// Header values of one simulated image.
struct SimHeader {
  double altitude = 0;     // OBJCTALT, degrees
  double focalLength = 0;  // FOCALLEN, mm
  double pixelSize = 0;    // XPIXSZ and YPIXSZ, micrometres
  std::set<std::string> missing;
  stars::NoiseModel noise;  // the camera's gain and read noise, for the star finder
};

// One simulated image: its pixels, its header, the star finder on it, and
// the window's click state.
class SimDocument : public ImageDocument {
 public:
  SimDocument(std::shared_ptr<const stars::Frame> frame, SimHeader header, std::shared_ptr<ImageDisplay> view,
              SimFaults faults, int exposureNumber);

  void prepare() override;
  std::optional<FitsValue> fitsKey(const std::string& keyword) override;
  std::int16_t clickNew() override;
  bool mouseDown() override;
  std::int16_t clickX() override;
  std::int16_t clickY() override;
  stars::Centroid centroidNear(std::int16_t x, std::int16_t y, PassBy passBy) override;

  std::shared_ptr<const stars::Frame> frame() const override { return frame_; }

 private:
  void check(SimOperation operation) const;

  std::shared_ptr<const stars::Frame> frame_;
  SimHeader header_;
  std::shared_ptr<ImageDisplay> view_;
  SimFaults faults_;
  int exposuresBefore_;  // exposures made before this one
};

}  // namespace nebulor::camera::sim
