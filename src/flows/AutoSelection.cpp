#include "flows/AutoSelection.h"

#include <array>
#include <memory>

#include "flows/ExposureHeader.h"
#include "flows/ImageWait.h"
#include "flows/StarSelection.h"

namespace nebulor {

AutoSelection::AutoSelection(MonitorState& state, MonitorUi& ui,
                             std::optional<stars::SeparationRange> separation)
    : state_(state), ui_(ui), separation_(separation) {}

AutoSelection::Result AutoSelection::SelectStarsAutomatically(const std::function<bool()>& giveUp) {
  camera::Camera& camera = linkedCamera(state_);
  camera.setFullFrame();
  camera.expose(state_.config.initialExposure);
  if (!WaitForImage(camera, ui_, giveUp)) return {Outcome::stopped, {}};

  const std::shared_ptr<camera::ImageDocument> document = camera.document();
  try {
    document->prepare();
  } catch (const camera::AutomationError&) {
    // Preparing the image is a courtesy to the application; its pixels come without it.
  }

  std::optional<stars::SeparationRange> separation = separation_;
  if (!separation) {
    const ExposureHeader header = readExposureHeader(*document);
    if (header.implausible) return {Outcome::refused, header.implausible->reason};
    if (!header.pixelSize) {
      return {Outcome::refused,
              "The full frame's header lacks the focal length or the pixel size, so the distance between the "
              "star images cannot be judged.",
              true};
    }
    separation = stars::plausibleSeparation(*header.focalLength, *header.pixelSize);
  }

  const stars::StarPairChoice choice = stars::chooseStarPair(*document->frame(), *separation);
  if (!choice.pair) return {Outcome::refused, choice.refusal};

  // As two clicks on the star images would: the centroid search from the
  // nearest pixel, by the application itself.
  std::array<stars::Centroid, 2> centroids;
  for (std::size_t star = 0; star < 2; ++star) {
    const stars::Centroid& image = choice.pair->stars[star];
    centroids[star] =
        document->centroidNear(roundToInt16(image.x), roundToInt16(image.y), camera::PassBy::reference);
  }
  MonitorState placed = state_;
  if (!placeStarsInSubframe(placed, centroids, camera.cameraXSize(), camera.cameraYSize())) {
    return {Outcome::refused, "The star images found do not lie on the camera's sensor."};
  }
  placed.starsSelected = kTrue;
  state_ = placed;
  return {Outcome::selected, {}};
}

}  // namespace nebulor
