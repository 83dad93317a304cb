#include "camera/indi/IndiDocument.h"

#include <utility>

namespace nebulor::camera::indi {

IndiDocument::IndiDocument(std::shared_ptr<const FitsImage> fits, std::shared_ptr<const stars::Frame> frame,
                           std::shared_ptr<ImageDisplay> display)
    : fits_(std::move(fits)), frame_(std::move(frame)), display_(std::move(display)) {}

std::optional<FitsValue> IndiDocument::fitsKey(const std::string& keyword) { return fits_->key(keyword); }

std::int16_t IndiDocument::clickNew() { return display_->clicks.clickNew(); }
bool IndiDocument::mouseDown() { return display_->clicks.mouseDown(); }
std::int16_t IndiDocument::clickX() { return display_->clicks.clickX(); }
std::int16_t IndiDocument::clickY() { return display_->clicks.clickY(); }

stars::Centroid IndiDocument::centroidNear(std::int16_t x, std::int16_t y, PassBy) {
  const stars::Centroid star = stars::findStarNear(*frame_, x, y);
  if (display_->viewer != nullptr) display_->viewer->showCentroid(star);
  return star;
}

}  // namespace nebulor::camera::indi
