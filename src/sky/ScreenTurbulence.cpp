#include "sky/ScreenTurbulence.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <numeric>
#include <unordered_map>

namespace nebulor::sky {
namespace {

constexpr double kDegrees = std::numbers::pi / 180.0;
constexpr int kScreenSize = 1024;
constexpr int kSamplesAcrossHole = 16;
constexpr double kFlowStretch = 512;  // samples of lane reserved for a run of frames
constexpr int kMinSubSteps = 10;
// Long exposures (star selection) average over many holes anyway.
constexpr int kMaxSubSteps = 400;
// Images of long exposures are formed from every so many sub-steps, at most
// this many: the sum of that many speckle patterns is already smooth.
constexpr int kMaxImageSteps = 20;
constexpr double kSubStepInHoles = 0.25;

// Fourier transform of the hole's mean, 2 J1(pi D f) / (pi D f), of f^2.
// Remembered: the grid's million frequencies share a few hundred thousand
// distances from the origin, and the Bessel function is slow.
class HoleAverage {
 public:
  explicit HoleAverage(double diameter) : diameter_(diameter) {}

  double operator()(double f2) {
    const auto [entry, added] = known_.try_emplace(f2, 0.0);
    if (added) {
      const double x = std::numbers::pi * diameter_ * std::sqrt(f2);
      entry->second = x < 1e-8 ? 1.0 : 2.0 * std::cyl_bessel_j(1.0, x) / x;
    }
    return entry->second;
  }

 private:
  double diameter_;
  std::unordered_map<double, double> known_;
};

}  // namespace

std::vector<SpectralFilter> gTiltFilters(double wavelength, double diameter) {
  auto average = std::make_shared<HoleAverage>(diameter);
  return {[=](double fx, double fy) {
            return std::complex<double>(0, wavelength * fx * (*average)(fx * fx + fy * fy));
          },
          [=](double fx, double fy) {
            return std::complex<double>(0, wavelength * fy * (*average)(fx * fx + fy * fy));
          }};
}

namespace {

// A lane stride near the golden section of the lane count and prime to it:
// exposures close in time land in lanes far apart.
int scatteredStride(int lanes) {
  int stride = std::max(1, static_cast<int>(std::lround(lanes * 0.381966)));
  while (std::gcd(stride, lanes) != 1) ++stride;
  return stride;
}

// The G-tilt along x and y, and with `phase` the phase itself (filter 2).
std::vector<SpectralFilter> screenFilters(const SkySettings& settings, bool phase) {
  std::vector<SpectralFilter> filters =
      gTiltFilters(settings.wavelength * 1e-9, settings.holeDiameter / 1000.0);
  if (phase) filters.emplace_back([](double, double) { return std::complex<double>(1, 0); });
  return filters;
}

}  // namespace

ScreenTurbulence::ScreenTurbulence(const SkySettings& settings, double r0, std::uint64_t seed,
                                   const std::vector<PupilPoint>& pupil)
    : spacing_(settings.holeDiameter / 1000.0 / kSamplesAcrossHole),
      wind_(settings.wind),
      windCos_(std::cos(settings.windDirection * kDegrees)),
      windSin_(std::sin(settings.windDirection * kDegrees)),
      screen_({r0, settings.outerScale}, {kScreenSize, spacing_}, screenFilters(settings, !pupil.empty()),
              seed) {
  // Sensor axes to the wind's frame.
  for (const PupilPoint& p : pupil)
    pupil_.push_back(
        {(p.x * windCos_ + p.y * windSin_) / spacing_, (p.y * windCos_ - p.x * windSin_) / spacing_});
  // Hole 2 lies half the distance along the line from star image 1 to star
  // image 2, hole 1 half the distance back; in the wind's frame the line is
  // turned by the wind's direction.
  const double turn = (settings.angle - settings.windDirection) * kDegrees;
  const double half = settings.holeDistance / 1000.0 / 2.0 / spacing_;
  const double along = std::abs(2 * half * std::cos(turn));
  const double across = std::abs(2 * half * std::sin(turn));
  // The hole's radius and the interpolation; a turned pupil grid's corners reach further.
  const double margin = kSamplesAcrossHole / 2.0 + (pupil_.empty() ? 1.0 : 2.0);
  for (int h = 0; h < 2; ++h) {
    const double sign = h == 0 ? -1.0 : 1.0;
    holes_[static_cast<std::size_t>(h)] = {margin + along / 2 + sign * half * std::cos(turn),
                                           margin + across / 2 + sign * half * std::sin(turn)};
  }
  cellSpan_ = along + 2 * margin;
  laneHeight_ = std::ceil(across + 2 * margin);
  const int lanes = static_cast<int>(kScreenSize / laneHeight_);
  lanes_.resize(static_cast<std::size_t>(lanes));
  laneStride_ = scatteredStride(lanes);
  newScreen();
}

// Lanes start at golden-section steps along the screen, so that neighbouring
// lanes, whose exposures may fall in one reading, are far apart along the wind.
void ScreenTurbulence::newScreen() {
  screenHalf_ = 1 - screenHalf_;
  if (screenHalf_ == 0) screen_.draw();
  for (std::size_t l = 0; l < lanes_.size(); ++l) {
    const double start = std::floor(std::fmod(l * 0.618034, 1.0) * kScreenSize);
    lanes_[l] = {start, start, false};
  }
}

// Corner of the next cell that holds the mask over a path of `pathSamples`.
// The lane moves on by the path, so its next cell continues the flow; by at
// least a hole diameter, so that no two exposures see the same air; in still
// air by the mask's length, so that the next sees none of this one's.
ScreenTurbulence::Point ScreenTurbulence::allocateCell(double pathSamples) {
  const double length = std::ceil(cellSpan_ + pathSamples);
  const double pitch = pathSamples > 0 ? std::max(std::ceil(pathSamples), kSamplesAcrossHole + 1.0)
                                       : std::ceil(cellSpan_) - 1.0;
  const int lanes = static_cast<int>(lanes_.size());
  for (int attempt = 0; attempt < 2; ++attempt) {
    for (int tried = 0; tried < lanes; ++tried) {
      const int index = (nextLane_ + tried) % lanes;
      Lane& lane = lanes_[static_cast<std::size_t>(index)];
      if (lane.cursor + length > kScreenSize && !lane.wrapped) {
        lane.cursor = 0;  // the rest of the lane lies before its start
        lane.wrapped = true;
      }
      if (lane.cursor + length > (lane.wrapped ? lane.start : kScreenSize)) continue;
      const Point corner{lane.cursor, index * laneHeight_};
      lane.cursor += pitch;
      nextLane_ = (index + laneStride_) % lanes;
      return corner;
    }
    newScreen();
  }
  return {0, 0};  // unreachable: the path was cut to fit an empty lane
}

void ScreenTurbulence::setFrameInterval(double seconds) {
  frameShift_ = seconds > 0 ? wind_ * seconds / spacing_ : 0;
  flowRoom_ = 0;
}

// The cell of the next frame: the last one's, further back by the air's move
// (the mask reads the screen further back as time goes on, within an
// exposure too), in a stretch of lane reserved when the run of frames began.
ScreenTurbulence::Point ScreenTurbulence::flowCell(double pathSamples) {
  freshAir_ = flowRoom_ < frameShift_;
  if (freshAir_) {
    const double stretch = std::min(kFlowStretch, kScreenSize - std::ceil(cellSpan_ + pathSamples) - 2.0);
    flowCorner_ = allocateCell(pathSamples + stretch);
    flowCorner_.x += stretch;
    flowRoom_ = stretch;
  } else {
    flowCorner_.x -= frameShift_;
    flowRoom_ -= frameShift_;
  }
  return flowCorner_;
}

Tilt ScreenTurbulence::tiltAt(const Point& point) const {
  return {part(screen_.at(0, point.x, point.y)), part(screen_.at(1, point.x, point.y))};
}

int ScreenTurbulence::subSteps(double seconds) const {
  const double path = wind_ * std::max(seconds, 0.0) / spacing_;
  // In still air every sub-step would see the same air.
  return path > 0 ? std::clamp(static_cast<int>(std::ceil(path / (kSamplesAcrossHole * kSubStepInHoles))),
                               kMinSubSteps, kMaxSubSteps)
                  : 1;
}

std::array<Tilt, 2> ScreenTurbulence::exposureInSteps(double seconds, int steps, std::vector<float>* phases) {
  const double path = wind_ * std::max(seconds, 0.0) / spacing_;
  const double stepLength = path / steps;
  // A path longer than a lane continues in fresh cells.
  const double room = kScreenSize - std::ceil(cellSpan_) - 1.0;
  const int stepsPerCell =
      stepLength > 0 ? std::clamp(static_cast<int>(std::min(room / stepLength, 1e6)), 1, steps) : steps;

  const std::size_t points = pupil_.size();
  const int imageStride = (steps + kMaxImageSteps - 1) / kMaxImageSteps;
  const auto imageSteps = static_cast<std::size_t>((steps + imageStride - 1) / imageStride);
  if (phases) phases->resize(2 * imageSteps * points);
  std::array<Tilt, 2> sum{};
  Point corner{};
  double cellPath = 0;
  for (int step = 0; step < steps; ++step) {
    if (step % stepsPerCell == 0) {
      cellPath = stepLength * std::min(stepsPerCell, steps - step);
      // A frame's path within one cell follows the frame before; a longer one cannot.
      const bool flows = frameShift_ > 0 && stepsPerCell == steps;
      corner = flows ? flowCell(cellPath) : allocateCell(cellPath);
      if (!flows) freshAir_ = true;
    }
    // The screen moves along +x: the mask reads it further back as time goes on.
    const double back = cellPath - stepLength * (step % stepsPerCell + 0.5);
    for (std::size_t h = 0; h < 2; ++h) {
      Point centre{corner.x + holes_[h].x + back, corner.y + holes_[h].y};
      // With images, the pupil's points go on the screen's own samples (when
      // the pupil's grid lies along the screen's, as in a wind along the
      // sensor's axes): an interpolated phase would lose some of its finest
      // structure. The hole moves by under half a sample for it, its tilt too.
      if (phases) {
        centre.x = std::nearbyint(centre.x + pupil_[0].x) - pupil_[0].x;
        centre.y = std::nearbyint(centre.y + pupil_[0].y) - pupil_[0].y;
      }
      const Tilt t = tiltAt(centre);
      sum[h].x += t.x;
      sum[h].y += t.y;
      if (!phases || step % imageStride != 0) continue;
      float* out = &(*phases)[(h * imageSteps + static_cast<std::size_t>(step / imageStride)) * points];
      for (std::size_t p = 0; p < points; ++p)
        out[p] = static_cast<float>(part(screen_.at(2, centre.x + pupil_[p].x, centre.y + pupil_[p].y)));
    }
  }
  std::array<Tilt, 2> result{};
  for (std::size_t h = 0; h < 2; ++h) {
    const double x = sum[h].x / steps;
    const double y = sum[h].y / steps;
    result[h] = {x * windCos_ - y * windSin_, x * windSin_ + y * windCos_};  // back to the sensor's axes
  }
  return result;
}

}  // namespace nebulor::sky
