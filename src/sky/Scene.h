#pragma once

#include <array>
#include <memory>
#include <random>

#ifndef NEBULOR_NO_PHASE_SCREEN
#include "sky/LayeredTurbulence.h"
#endif
#include "sky/FourierImager.h"
#include "sky/SeeingModel.h"
#include "sky/SkySettings.h"

namespace nebulor::sky {

// Where a star image falls on the sensor, in sensor pixels (pixel centres at
// whole numbers): its centre (a Fourier image's G-tilt position).
struct StarImage {
  double x = 0;
  double y = 0;
};

// The sky during one exposure.
struct SceneState {
  double altitude = 90;  // degrees
  std::array<StarImage, 2> stars;
  std::array<ImageStamp, 2> images;  // formed by Fourier optics; none: Gaussian images
  bool cloudy = false;               // the stars are hidden
  bool freshAir = true;              // the turbulence is unrelated to the previous exposure's
};

// The two images of the star as they move from exposure to exposure: both
// share the tip-tilt and the slow drift; star 2 differs from star 1 by the
// mean separation plus the differential motion, drawn along and across the
// line joining them (turbulence=model), or each image moves with the G-tilt
// of its own hole on a phase screen (turbulence=screen), so that common and
// differential motion and their averaging over the exposure come from the
// same atmosphere; the tip-tilt is then the telescope's shake alone. Seeded, so a run is repeatable; the
// draws do not depend on the readout, so the same seed gives the same motion in any subframe.
class Scene {
 public:
  Scene(const SkySettings& settings, const SeeingModel& seeing);

  // Frames one `seconds` after another from now on (0: single exposures):
  // the phase screen's air moves on between them (see LayeredTurbulence).
  void setFrameInterval(double seconds);
  ~Scene();

  // The exposure of `seconds` whose middle falls `time` seconds after the start.
  SceneState next(double time, double seconds);

  double altitudeAt(double time) const;

 private:
  bool nextCloudState(double draw);

  SkySettings settings_;
  SeeingModel seeing_;
  std::mt19937_64 random_;
  std::normal_distribution<double> gauss_;
  std::uniform_real_distribution<double> uniform_;
  bool cloudy_;
#ifndef NEBULOR_NO_PHASE_SCREEN
  std::unique_ptr<LayeredTurbulence> screen_;  // with turbulence=screen
  std::unique_ptr<FourierImager> imager_;      // with images=fourier
  std::vector<float> phases_;
#endif
};

}  // namespace nebulor::sky
