#include "camera/ClickState.h"

#include <cmath>
#include <utility>

#include "stars/StarChoice.h"

namespace nebulor::camera {
namespace {

constexpr std::int16_t kTrue = -1;

ClickPoint nearestPixel(const stars::Centroid& star) {
  return {static_cast<std::int16_t>(std::nearbyint(star.x)),
          static_cast<std::int16_t>(std::nearbyint(star.y))};
}

}  // namespace

bool ClickState::press(ClickPoint point) {
  if (awaiting_ && frame_ && taken_ < 2) {
    const stars::Centroid found = stars::findStarNear(*frame_, point.x, point.y);
    const stars::StarChoice choice = stars::judgeStarChoice(found, chosen_);
    if (choice != stars::StarChoice::usable) {
      refusal_ = "Click refused: " + stars::starChoiceReason(choice, found) + ".";
      changed();
      return false;
    }
    if (!chosen_) chosen_ = found;
  }
  buttonDown_ = true;
  pressUnreported_ = true;
  startPress(point);
  return true;
}

void ClickState::release() { buttonDown_ = false; }

void ClickState::frameArrived(std::shared_ptr<const stars::Frame> frame) {
  ready_ = true;
  awaiting_ = false;
  taken_ = 0;
  chosen_.reset();
  refusal_.clear();
  frame_ = std::move(frame);
  changed();
  if (!pairScript_ || !frame_) return;
  script_.clear();
  if (const std::optional<stars::StarPair> pair = stars::chooseStarPair(*frame_, *pairScript_).pair) {
    for (const stars::Centroid& star : pair->stars) script_.push_back(nearestPixel(star));
  }
}

std::string ClickState::prompt() const {
  if (!awaiting_ || taken_ >= 2) return {};
  return taken_ == 0 ? "Click the first star image" : "Click the second star image";
}

void ClickState::scriptClicks(std::vector<ClickPoint> points) {
  pairScript_.reset();
  script_.assign(points.begin(), points.end());
}

void ClickState::scriptAutomaticPair(stars::SeparationRange separation) {
  pairScript_ = separation;
  script_.clear();
}

std::int16_t ClickState::clickNew() {
  upSeen_ = false;
  if (ready_ && !awaiting_) {
    awaiting_ = true;
    changed();
  }
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

void ClickState::setChangeObserver(std::function<void()> observer) { changeObserver_ = std::move(observer); }

void ClickState::startPress(ClickPoint point) {
  latest_ = point;
  if (awaiting_ && taken_ < 2) {
    ++taken_;
    refusal_.clear();
    changed();
  }
  if (observer_) observer_(point);
}

void ClickState::changed() {
  if (changeObserver_) changeObserver_();
}

}  // namespace nebulor::camera
