#include "sky/Scene.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace nebulor::sky {
namespace {

// The star never sets below this: airmass stays finite.
constexpr double kLowestAltitude = 1.0;
constexpr double kDegrees = std::numbers::pi / 180.0;
// The phase screen has a stream of its own, so the model's draws stay as they were.
constexpr std::uint64_t kScreenStream = 0x5851f42d4c957f2dULL;

}  // namespace

Scene::Scene(const SkySettings& settings, const SeeingModel& seeing)
    : settings_(settings), seeing_(seeing), random_(settings.seed), gauss_(0.0, 1.0), uniform_(0.0, 1.0) {
  cloudy_ = uniform_(random_) < settings_.clouds;  // start in the long-run state
#ifndef NEBULOR_NO_PHASE_SCREEN                    // the settings refuse the screen there
  if (settings.turbulence == Turbulence::screen) {
    if (settings.images == Images::fourier)
      imager_ = std::make_unique<FourierImager>(settings, seeing.pixelScale());
    screen_ =
        std::make_unique<LayeredTurbulence>(settings, seeing.r0() / 1000.0, settings.seed ^ kScreenStream,
                                            imager_ ? imager_->pupilPoints() : std::vector<PupilPoint>{});
  }
#endif
}

double Scene::altitudeAt(double time) const {
  double altitude = settings_.altitude + settings_.altitudeRate * time / 3600.0;
  if (altitude > 90.0) altitude = 180.0 - altitude;  // past the zenith it comes down again
  return std::clamp(altitude, kLowestAltitude, 90.0);
}

Scene::~Scene() = default;

void Scene::setFrameInterval([[maybe_unused]] double seconds) {
#ifndef NEBULOR_NO_PHASE_SCREEN
  if (screen_) screen_->setFrameInterval(seconds);
#endif
}

SceneState Scene::next(double time, double seconds) {
  // Fixed order of draws, all of them every time, so the sequence never
  // depends on what the earlier exposures saw.
  const double cloudDraw = uniform_(random_);
  const double tipX = gauss_(random_);
  const double tipY = gauss_(random_);
  const double longDraw = gauss_(random_);
  const double transDraw = gauss_(random_);

  SceneState state;
  state.altitude = altitudeAt(time);
  state.cloudy = nextCloudState(cloudDraw);

  const double airmass = airmassAt(state.altitude);
  const double along = longDraw * seeing_.longitudinalSigma(airmass);
  const double across = transDraw * seeing_.transverseSigma(airmass);
  const double ux = std::cos(settings_.angle * kDegrees);  // along the line star 1 -> star 2
  const double uy = std::sin(settings_.angle * kDegrees);

  // Tracking error walks along the sensor's diagonal.
  const double drift = settings_.drift * time / 60.0 * std::numbers::sqrt2 / 2.0;
  const double tipTilt = seeing_.tipTiltSigma();
  const double centreX = (settings_.width - 1) / 2.0 + drift + tipX * tipTilt;
  const double centreY = (settings_.height - 1) / 2.0 + drift + tipY * tipTilt;

#ifndef NEBULOR_NO_PHASE_SCREEN
  if (screen_) {
    // Turbulence at the zenith seen through `airmass` times as much air.
    const double scale = std::sqrt(airmass) / seeing_.pixelScale();
    const std::array<Tilt, 2> tilts = screen_->exposure(seconds, imager_ ? &phases_ : nullptr);
    state.freshAir = screen_->startedFreshAir();
    const double halfX = settings_.separation * ux / 2.0;
    const double halfY = settings_.separation * uy / 2.0;
    for (std::size_t h = 0; h < 2; ++h) {
      const double sign = h == 0 ? -1.0 : 1.0;
      const StarImage flat{centreX + sign * halfX, centreY + sign * halfY};
      state.stars[h] = {flat.x + tilts[h].x * scale, flat.y + tilts[h].y * scale};
      if (!imager_) continue;
      const std::size_t block = phases_.size() / 2;
      state.images[h] =
          imager_->image(flat.x, flat.y, state.stars[h].x, state.stars[h].y,
                         std::span<const float>(phases_).subspan(h * block, block), std::sqrt(airmass));
    }
    return state;
  }
#endif
  // Half the separation and half the differential motion on either side.
  const double halfX = (settings_.separation * ux + along * ux - across * uy) / 2.0;
  const double halfY = (settings_.separation * uy + along * uy + across * ux) / 2.0;
  state.stars[0] = {centreX - halfX, centreY - halfY};
  state.stars[1] = {centreX + halfX, centreY + halfY};
  return state;
}

// Cloud episodes as a two-state chain: an episode ends with probability
// 1 / cloudLength per exposure, and starts at the rate that makes the
// long-run share of cloudy exposures equal `clouds`.
bool Scene::nextCloudState(double draw) {
  const double clouds = settings_.clouds;
  if (clouds <= 0.0 || clouds >= 1.0) {
    cloudy_ = clouds >= 1.0;
    return cloudy_;
  }
  const double leave = 1.0 / settings_.cloudLength;
  const double enter = std::min(1.0, clouds * leave / (1.0 - clouds));
  cloudy_ = cloudy_ ? draw >= leave : draw < enter;
  return cloudy_;
}

}  // namespace nebulor::sky
