#include "camera/ClickState.h"

#include <cmath>
#include <utility>

namespace nebulor::camera {
namespace {

constexpr std::int16_t kTrue = -1;
constexpr int kScriptedStars = 2;

ClickPoint nearestPixel(const Centroid& star) {
  return {static_cast<std::int16_t>(std::nearbyint(star.x)),
          static_cast<std::int16_t>(std::nearbyint(star.y))};
}

}  // namespace

void ClickState::press(ClickPoint point) {
  buttonDown_ = true;
  pressUnreported_ = true;
  startPress(point);
}

void ClickState::release() { buttonDown_ = false; }

void ClickState::frameArrived(const Frame& frame) {
  ready_ = true;
  if (!brightestScript_) return;
  script_.clear();
  for (const Centroid& star : findBrightestStars(frame, kScriptedStars)) {
    script_.push_back(nearestPixel(star));
  }
}

void ClickState::scriptClicks(std::vector<ClickPoint> points) {
  brightestScript_ = false;
  script_.assign(points.begin(), points.end());
}

void ClickState::scriptBrightestStars() {
  brightestScript_ = true;
  script_.clear();
}

std::int16_t ClickState::clickNew() {
  upSeen_ = false;
  return ready_ ? kTrue : std::int16_t{0};
}

bool ClickState::mouseDown() {
  if (buttonDown_ || pressUnreported_) {
    pressUnreported_ = false;
    return true;
  }
  if (scriptedDown_) {
    scriptedDown_ = false;  // this poll sees the release
    upSeen_ = true;
    return false;
  }
  if (ready_ && upSeen_ && !script_.empty()) {
    const ClickPoint next = script_.front();
    script_.pop_front();
    scriptedDown_ = true;
    startPress(next);
    return true;
  }
  upSeen_ = true;
  return false;
}

void ClickState::setPressObserver(std::function<void(ClickPoint)> observer) {
  observer_ = std::move(observer);
}

void ClickState::startPress(ClickPoint point) {
  latest_ = point;
  if (observer_) observer_(point);
}

}  // namespace nebulor::camera
