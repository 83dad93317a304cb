#include "measure/WindResponse.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <mutex>
#include <numbers>
#include <tuple>

#include "measure/WindCorrection.h"

namespace nebulor {
namespace {

constexpr int kPathSteps = 100;  // denser at short paths, where the response changes fastest
constexpr int kAngleSteps = 18;  // 5 degrees
constexpr double kAngleStep = std::numbers::pi / 2 / kAngleSteps;

// Misfits beyond which one layer does not explain what was measured. For
// exposures of t and 2t, chi^2's 99.9% point for the one value the fit
// leaves free. The frames' values are correlated with each other and their
// errors come from 20 batches, so their misfit has a longer tail than
// chi^2's law for three: single layers scored 1 to 20 or so in the
// simulator (the finder's own motion fits the G-tilt's response only
// nearly), two layers of very different speeds 90 and more.
constexpr double kPairsLimit = 10.8;
constexpr double kFramesLimit = 40;

MotionShares operator/(const MotionShares& a, const MotionShares& b) {
  return {a.along / b.along, a.across / b.across};
}

MotionShares mix(const MotionShares& a, const MotionShares& b, double t) {
  return {a.along + t * (b.along - a.along), a.across + t * (b.across - a.across)};
}

double misfitOf(const Measured& measured, double model) {
  return std::pow((measured.value - model) / measured.error, 2);
}

}  // namespace

WindResponse::WindResponse(const FrozenFlow& flow, double lag) {
  const double longest = 2 * kLongestPath;
  for (int i = 0; i <= kPathSteps; ++i) {
    const double u = longest * std::pow(static_cast<double>(i) / kPathSteps, 2);
    paths_.push_back(u);
    for (int j = 0; j <= kAngleSteps; ++j) {
      const double angle = j * kAngleStep;
      Cell cell;
      cell.kept = flow.kept(u, angle);
      // Frames are fitted only out to the longest path.
      if (u <= kLongestPath && lag > 0) {
        cell.next = flow.covariance(u, angle, lag) / cell.kept;
        cell.afterNext = flow.covariance(u, angle, 2 * lag) / cell.kept;
      }
      cells_.push_back(cell);
    }
  }
}

std::shared_ptr<const WindResponse> WindResponse::forMask(const Config& config, double lag) {
  using Key = std::tuple<float, float, long>;
  static std::mutex mutex;
  static std::map<std::pair<float, float>, std::shared_ptr<const FrozenFlow>> flows;
  static std::map<Key, std::shared_ptr<const WindResponse>> responses;
  const std::lock_guard lock(mutex);
  // Frame spacing known to a percent is plenty.
  const Key key{config.holeDiameter, config.holeDistance, std::lround(lag * 100)};
  if (const auto found = responses.find(key); found != responses.end()) return found->second;
  auto& flow = flows[{config.holeDiameter, config.holeDistance}];
  if (!flow) {
    flow = std::make_shared<const FrozenFlow>(config.holeDiameter * 1e-3, config.holeDistance * 1e-3,
                                              kAssumedOuterScale);
  }
  auto response = std::make_shared<const WindResponse>(*flow, std::get<2>(key) / 100.0);
  responses[key] = response;
  return response;
}

WindResponse::Cell WindResponse::at(double path, double angle) const {
  path = std::clamp(path, 0.0, paths_.back());
  angle = std::clamp(angle, 0.0, std::numbers::pi / 2);
  const auto above = std::upper_bound(paths_.begin() + 1, paths_.end() - 1, path);
  const auto i = static_cast<std::size_t>(above - paths_.begin()) - 1;
  const double t = (path - paths_[i]) / (paths_[i + 1] - paths_[i]);
  const auto j =
      std::min(static_cast<std::size_t>(angle / kAngleStep), static_cast<std::size_t>(kAngleSteps - 1));
  const double s = angle / kAngleStep - static_cast<double>(j);
  const std::size_t row = kAngleSteps + 1;
  const auto corner = [&](std::size_t a, std::size_t b) { return cells_[a * row + b]; };
  const auto blend = [&](auto member) {
    return mix(mix(corner(i, j).*member, corner(i, j + 1).*member, s),
               mix(corner(i + 1, j).*member, corner(i + 1, j + 1).*member, s), t);
  };
  return {blend(&Cell::kept), blend(&Cell::next), blend(&Cell::afterNext)};
}

// The tabulated layer that fits best, then a pattern search between the
// table's points.
template <typename Misfit>
WindFit WindResponse::fit(Misfit misfit, double limit) const {
  double bestPath = 0;
  double bestAngle = 0;
  double best = misfit(0.0, 0.0);
  for (const double u : paths_) {
    if (u > kLongestPath) break;
    for (int j = 0; j <= kAngleSteps; ++j) {
      if (const double m = misfit(u, j * kAngleStep); m < best) {
        best = m;
        bestPath = u;
        bestAngle = j * kAngleStep;
      }
    }
  }
  double pathStep = std::max(bestPath, 0.1) / 8;
  double angleStep = kAngleStep / 2;
  while (pathStep > 1e-4) {
    bool moved = false;
    for (const auto& [du, da] :
         {std::pair{pathStep, 0.0}, {-pathStep, 0.0}, {0.0, angleStep}, {0.0, -angleStep}}) {
      const double u = std::clamp(bestPath + du, 0.0, kLongestPath);
      const double a = std::clamp(bestAngle + da, 0.0, std::numbers::pi / 2);
      if (const double m = misfit(u, a); m < best) {
        best = m;
        bestPath = u;
        bestAngle = a;
        moved = true;
      }
    }
    if (!moved) {
      pathStep /= 2;
      angleStep /= 2;
    }
  }
  return {bestPath, bestAngle, at(bestPath, bestAngle).kept, best, best < limit};
}

WindFit WindResponse::fitExposurePairs(const Measured& ratioAlong, const Measured& ratioAcross,
                                       const Measured& balance) const {
  return fit(
      [&](double u, double a) {
        const MotionShares kept = at(u, a).kept;
        const MotionShares ratio = at(2 * u, a).kept / kept;
        return misfitOf(ratioAlong, ratio.along) + misfitOf(ratioAcross, ratio.across) +
               misfitOf(balance, kept.along / kept.across);
      },
      kPairsLimit);
}

WindFit WindResponse::fitNeighbours(const std::array<Measured, 4>& nextAndAfterNext,
                                    const Measured& balance) const {
  return fit(
      [&](double u, double a) {
        const Cell cell = at(u, a);
        return misfitOf(nextAndAfterNext[0], cell.next.along) +
               misfitOf(nextAndAfterNext[1], cell.next.across) +
               misfitOf(nextAndAfterNext[2], cell.afterNext.along) +
               misfitOf(nextAndAfterNext[3], cell.afterNext.across) +
               misfitOf(balance, cell.kept.along / cell.kept.across);
      },
      kFramesLimit);
}

}  // namespace nebulor
