#include "camera/sim/SimDocument.h"

#include <utility>

namespace nebulor::camera::sim {

SimDocument::SimDocument(std::shared_ptr<const stars::Frame> frame, SimHeader header,
                         std::shared_ptr<ImageDisplay> view, SimFaults faults, int exposureNumber)
    : frame_(std::move(frame)),
      header_(std::move(header)),
      view_(std::move(view)),
      faults_(std::move(faults)),
      exposuresBefore_(exposureNumber - 1) {}

void SimDocument::check(SimOperation operation) const { faults_.check(operation, exposuresBefore_); }

void SimDocument::prepare() { check(SimOperation::prepare); }

std::optional<FitsValue> SimDocument::fitsKey(const std::string& keyword) {
  check(SimOperation::fitsKey);
  const std::string& key = keyword;  // FITS keywords are upper case
  if (header_.missing.count(key) != 0) return std::nullopt;
  if (key == "OBJCTALT") return header_.altitude;
  if (key == "FOCALLEN") return header_.focalLength;
  if (key == "XPIXSZ" || key == "YPIXSZ") return header_.pixelSize;
  return std::nullopt;
}

std::int16_t SimDocument::clickNew() {
  check(SimOperation::click);
  return view_->clicks.clickNew();
}

bool SimDocument::mouseDown() {
  check(SimOperation::click);
  return view_->clicks.mouseDown();
}

std::int16_t SimDocument::clickX() {
  check(SimOperation::click);
  return view_->clicks.clickX();
}

std::int16_t SimDocument::clickY() {
  check(SimOperation::click);
  return view_->clicks.clickY();
}

stars::Centroid SimDocument::centroidNear(std::int16_t x, std::int16_t y, PassBy /*passBy*/) {
  check(SimOperation::centroid);
  const stars::Centroid star = stars::findStarNear(*frame_, x, y, header_.noise);
  if (view_->viewer != nullptr) view_->viewer->showCentroid(star);
  return star;
}

}  // namespace nebulor::camera::sim
