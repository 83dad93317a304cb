#pragma once

#include <memory>

#include "camera/Automation.h"
#include "camera/ImageDisplay.h"
#include "camera/indi/FitsImage.h"

namespace nebulor::camera::indi {

// One image received from the INDI camera: header values from its FITS
// header, centroids measured by the shared star finder on its pixels, clicks
// from the image window that shows it.
class IndiDocument : public ImageDocument {
 public:
  // `frame` is the image as asked for (cut to the readout box where needed);
  // `fits` supplies the header.
  IndiDocument(std::shared_ptr<const FitsImage> fits, std::shared_ptr<const stars::Frame> frame,
               std::shared_ptr<ImageDisplay> display);

  void prepare() override {}
  std::optional<FitsValue> fitsKey(const std::string& keyword) override;

  std::int16_t clickNew() override;
  bool mouseDown() override;
  std::int16_t clickX() override;
  std::int16_t clickY() override;

  stars::Centroid centroidNear(std::int16_t x, std::int16_t y, PassBy passBy) override;

  std::shared_ptr<const stars::Frame> frame() const override { return frame_; }

 private:
  std::shared_ptr<const FitsImage> fits_;
  std::shared_ptr<const stars::Frame> frame_;
  std::shared_ptr<ImageDisplay> display_;
};

}  // namespace nebulor::camera::indi
