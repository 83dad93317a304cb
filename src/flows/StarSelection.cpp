#include "flows/StarSelection.h"

#include <cmath>
#include <limits>
#include <memory>
#include <optional>

#include "core/CatchAll.h"
#include "flows/EnterMode.h"
#include "flows/ImageWait.h"
#include "stars/StarChoice.h"

namespace nebulor {

namespace {

// Edges a box starts from while it is built, so that the first star sets all four.
constexpr std::int16_t kMinSentinel = 30000;
constexpr std::int16_t kMaxSentinel = -30000;

std::int16_t clampToInt16(int value) {
  if (value < std::numeric_limits<std::int16_t>::min()) return std::numeric_limits<std::int16_t>::min();
  if (value > std::numeric_limits<std::int16_t>::max()) return std::numeric_limits<std::int16_t>::max();
  return static_cast<std::int16_t>(value);
}

}  // namespace

std::int16_t roundToInt16(double value) {
  if (std::isnan(value)) return 0;
  const double rounded = std::nearbyint(value);  // default rounding mode: halves to even
  if (rounded <= std::numeric_limits<std::int16_t>::min()) return std::numeric_limits<std::int16_t>::min();
  if (rounded >= std::numeric_limits<std::int16_t>::max()) return std::numeric_limits<std::int16_t>::max();
  return static_cast<std::int16_t>(rounded);
}

void startSubframe(MonitorState& state) {
  state.subframeMinX = kMinSentinel;
  state.subframeMinY = kMinSentinel;
  state.subframeMaxX = kMaxSentinel;
  state.subframeMaxY = kMaxSentinel;
}

// The comparisons use the unrounded position; the four tests are independent,
// so the first star sets both edges of each axis.
void includeInSubframe(MonitorState& state, double x, double y) {
  if (x < state.subframeMinX) state.subframeMinX = roundToInt16(x);
  if (x > state.subframeMaxX) state.subframeMaxX = roundToInt16(x);
  if (y < state.subframeMinY) state.subframeMinY = roundToInt16(y);
  if (y > state.subframeMaxY) state.subframeMaxY = roundToInt16(y);
}

void widenAndClipSubframe(MonitorState& state, int cameraXSize, int cameraYSize) {
  const int margin = state.subframeMargin;
  state.subframeMinX = clampToInt16(state.subframeMinX - margin);
  state.subframeMaxX = clampToInt16(state.subframeMaxX + margin);
  state.subframeMinY = clampToInt16(state.subframeMinY - margin);
  state.subframeMaxY = clampToInt16(state.subframeMaxY + margin);
  if (state.subframeMinX < 0) state.subframeMinX = 0;
  if (state.subframeMaxX > cameraXSize) state.subframeMaxX = clampToInt16(cameraXSize);
  if (state.subframeMinY < 0) state.subframeMinY = 0;
  if (state.subframeMaxY > cameraYSize) state.subframeMaxY = clampToInt16(cameraYSize);
}

bool subframeOnSensor(const MonitorState& state, int cameraXSize, int cameraYSize) {
  return state.subframeMinX >= 0 && state.subframeMinX < state.subframeMaxX &&
         state.subframeMaxX <= cameraXSize && state.subframeMinY >= 0 &&
         state.subframeMinY < state.subframeMaxY && state.subframeMaxY <= cameraYSize;
}

bool placeStarsInSubframe(MonitorState& state, const std::array<stars::Centroid, 2>& stars, int cameraXSize,
                          int cameraYSize) {
  state.subframeMargin = kSubframeMargin;
  startSubframe(state);
  for (int star = 1; star <= 2; ++star) {
    const stars::Centroid& centroid = stars[static_cast<std::size_t>(star - 1)];
    state.starX[star] = static_cast<float>(centroid.x);  // full-frame sensor pixels for now
    state.starY[star] = static_cast<float>(centroid.y);
    includeInSubframe(state, centroid.x, centroid.y);
  }
  widenAndClipSubframe(state, cameraXSize, cameraYSize);
  // A box off the sensor would reach the camera as a negative or empty subframe.
  if (!subframeOnSensor(state, cameraXSize, cameraYSize)) return false;
  for (int star = 1; star <= 2; ++star) {
    state.starX[star] -= static_cast<float>(state.subframeMinX);
    state.starY[star] -= static_cast<float>(state.subframeMinY);
  }
  return true;
}

void UpdateSubframe(MonitorState& state, camera::Camera& camera) {
  const std::int16_t oldMinX = state.subframeMinX;
  const std::int16_t oldMinY = state.subframeMinY;
  startSubframe(state);
  for (int star = 1; star <= 2; ++star) {
    const float x = static_cast<float>(oldMinX) + state.starX[star];  // sensor column, single precision
    const float y = static_cast<float>(oldMinY) + state.starY[star];
    includeInSubframe(state, x, y);
  }
  widenAndClipSubframe(state, camera.cameraXSize(), camera.cameraYSize());
  // The edges moved by whole pixels: shift the stars by the same amount, so
  // their sensor positions keep their fractions.
  const auto dx = static_cast<std::int16_t>(oldMinX - state.subframeMinX);
  const auto dy = static_cast<std::int16_t>(oldMinY - state.subframeMinY);
  for (int star = 1; star <= 2; ++star) {
    state.starX[star] += static_cast<float>(dx);
    state.starY[star] += static_cast<float>(dy);
  }
}

camera::Camera& linkedCamera(const MonitorState& state) {
  if (state.camera == nullptr) {
    throw camera::AutomationError(
        "The camera could not be reached when Nebulor started; restart Nebulor to retry.");
  }
  return *state.camera;
}

StarSelection::StarSelection(MonitorState& state, MonitorUi& ui) : state_(state), ui_(ui) {}

void StarSelection::CommandSelect_Click() {
  if (state_.mode != ProgramMode::idle) return;  // a click queued before the command was disabled
  state_.starsSelected = kFalse;
  imageWindowClosed_ = false;
  enterMode(state_, ui_, ProgramMode::selecting);
  Outcome outcome = Outcome::abandoned;
  const std::optional<Failure> failure = runCatchingAll([&] { outcome = SelectStars(); });
  enterMode(state_, ui_, ProgramMode::idle);
  ui_.updateDisplay();  // without stars the start/stop command stays disabled
  if (failure) {
    ui_.showMessage(failure->reason);
  } else if (outcome == Outcome::offSensor) {
    ui_.showMessage(
        "The selected star images do not lie on the camera's sensor. Please select the stars again.");
  } else if (outcome == Outcome::notTwoStars) {
    ui_.showMessage(refusal_ + " Please select the stars again, clicking each of the two star images once.");
  }
}

void StarSelection::imageWindowClosed() {
  if (state_.mode == ProgramMode::selecting) imageWindowClosed_ = true;
}

bool StarSelection::abandoned() const { return state_.mode == ProgramMode::selecting && imageWindowClosed_; }

StarSelection::Outcome StarSelection::SelectStars() {
  camera::Camera& camera = linkedCamera(state_);
  camera.setFullFrame();
  camera.expose(state_.config.initialExposure);
  if (!WaitForImage(camera, ui_, [this] { return abandoned(); })) return Outcome::abandoned;

  const std::shared_ptr<camera::ImageDocument> document = camera.document();
  try {
    document->prepare();
  } catch (const camera::AutomationError&) {
    // Preparing the image is a courtesy to the application; the centroids work without it.
  }

  std::array<stars::Centroid, 2> centroids;
  std::optional<stars::Centroid> first;
  stars::StarChoice choice = stars::StarChoice::usable;
  for (int star = 1; star <= 2; ++star) {
    if (!waitForClick(*document)) return Outcome::abandoned;
    ui_.beep();
    const std::int16_t clickX = document->clickX();
    const std::int16_t clickY = document->clickY();
    const stars::Centroid centroid = document->centroidNear(clickX, clickY, camera::PassBy::reference);
    centroids[static_cast<std::size_t>(star - 1)] = centroid;
    // Where the clicks are made in another application's window, they are
    // judged only now, after the second; our own window refused bad ones already.
    if (choice == stars::StarChoice::usable) {
      choice = stars::judgeStarChoice(centroid, first);
      if (choice != stars::StarChoice::usable) {
        refusal_ = std::string(star == 1 ? "The first" : "The second") +
                   " click was refused: " + stars::starChoiceReason(choice, centroid) + ".";
      }
    }
    first = centroid;
  }
  if (choice != stars::StarChoice::usable) return Outcome::notTwoStars;
  if (!placeStarsInSubframe(state_, centroids, camera.cameraXSize(), camera.cameraYSize())) {
    return Outcome::offSensor;
  }
  state_.starsSelected = kTrue;
  return Outcome::selected;
}

// A click counts only once the previous one has ended: first wait until the
// window takes clicks and no button is held, then for the next press. Each
// poll sleeps a little: on Windows every poll is a call into the application.
bool StarSelection::waitForClick(camera::ImageDocument& document) {
  WaitRules rules;
  rules.interval = kQuickPollInterval;
  rules.abandon = [this] { return abandoned(); };
  if (waitFor(
          ui_, [&] { return document.clickNew() != 0 && !document.mouseDown(); }, rules) != WaitEnd::ready) {
    return false;
  }
  return waitFor(
             ui_, [&] { return document.mouseDown(); }, rules) == WaitEnd::ready;
}

}  // namespace nebulor
