#include "measure/WindFromExposures.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "core/FriedParameter.h"
#include "measure/CorrelatedError.h"
#include "measure/WindResponse.h"

namespace nebulor {
namespace {

// The pool is cut into this many groups for the jackknife of its error.
constexpr std::size_t kPoolGroups = 10;

// Sums over pooled readings of what the fit reads: each direction's
// variance at t and at 2t, and its seeing at t to the power 5/3 (its
// variance over the finder's response), with their variances.
struct PoolSums {
  std::array<double, 6> value{};   // along t, along 2t, across t, across 2t, along and across scaled
  std::array<double, 6> spread{};  // value^2 * 2 / nu summed

  void add(const PoolEntry& e) {
    const std::array<std::pair<double, double>, 6> terms = {{
        {e.single[0].turbulence, e.single[0].nu},
        {e.twice[0].turbulence, e.twice[0].nu},
        {e.single[1].turbulence, e.single[1].nu},
        {e.twice[1].turbulence, e.twice[1].nu},
        {std::pow(e.single[0].seeing, 5.0 / 3.0), e.single[0].nu},
        {std::pow(e.single[1].seeing, 5.0 / 3.0), e.single[1].nu},
    }};
    for (std::size_t k = 0; k < terms.size(); ++k) {
      value[k] += terms[k].first;
      spread[k] += terms[k].first * terms[k].first * 2 / terms[k].second;
    }
  }

  PoolSums without(const PoolSums& part) const {
    PoolSums rest = *this;
    for (std::size_t k = 0; k < value.size(); ++k) {
      rest.value[k] -= part.value[k];
      rest.spread[k] -= part.spread[k];
    }
    return rest;
  }

  // value[top] / value[bottom], its error from both sums' degrees of freedom.
  Measured ratio(std::size_t top, std::size_t bottom) const {
    const double r = value[top] / value[bottom];
    return {r, r * std::sqrt(spread[top] / (value[top] * value[top]) +
                             spread[bottom] / (value[bottom] * value[bottom]))};
  }
};

}  // namespace

WindCorrection ExposurePairWind::correct(const std::array<std::optional<DirectionEstimate>, 2>& single,
                                         const std::array<std::optional<DirectionEstimate>, 2>& twice,
                                         double exposure, const Config& config) {
  if (!single[0] || !single[1] || !twice[0] || !twice[1]) {
    return {std::nullopt, std::nullopt, "a direction's motion was below its noise at one exposure time"};
  }
  if (!pool_.empty() && pool_.back().exposure != exposure) pool_.clear();
  pool_.push_back({{*single[0], *single[1]}, {*twice[0], *twice[1]}, exposure});
  if (pool_.size() > kPooledReadings) pool_.pop_front();
  if (pool_.size() < kLeastPooledReadings) {
    return {std::nullopt, std::nullopt,
            "gathering the wind: " + std::to_string(pool_.size()) + " of " +
                std::to_string(kLeastPooledReadings) + " readings"};
  }
  PoolSums all;
  std::array<PoolSums, kPoolGroups> groups{};
  for (std::size_t i = 0; i < pool_.size(); ++i) {
    all.add(pool_[i]);
    groups[i % kPoolGroups].add(pool_[i]);
  }
  const auto response = WindResponse::forMask(config, 0);
  const double diameter = config.holeDiameter * 1e-3;
  // The fit weighs each ratio by the whole pool's error.
  const Measured along = all.ratio(1, 0);
  const Measured across = all.ratio(3, 2);
  const Measured balance = all.ratio(4, 5);
  const auto fitOf = [&](const PoolSums& sums) {
    return response->fitExposurePairs({sums.ratio(1, 0).value, along.error},
                                      {sums.ratio(3, 2).value, across.error},
                                      {sums.ratio(4, 5).value, balance.error});
  };
  const WindFit fit = fitOf(all);
  const double seeing = fit.corrected(single[0]->seeing, single[1]->seeing);
  const double wind = fit.speed(diameter, exposure);

  // The pool's error by the jackknife over its groups, beside this
  // reading's own scatter at t.
  std::vector<double> seeings, winds;
  for (const PoolSums& group : groups) {
    const WindFit f = fitOf(all.without(group));
    seeings.push_back(f.corrected(single[0]->seeing, single[1]->seeing));
    winds.push_back(f.speed(diameter, exposure));
  }
  const double own = std::hypot(single[0]->error / std::pow(fit.kept.along, 0.6),
                                single[1]->error / std::pow(fit.kept.across, 0.6)) /
                     2;
  const double seeingError = std::hypot(own, jackknifeError(seeings));
  const double windError = jackknifeError(winds);

  Coherence coherence{wind, windError, std::nullopt, 0};
  if (wind > 2 * windError) {
    coherence.tau0 = tau0Milliseconds(config.wavelength, seeing, wind);
    coherence.tau0Error = *coherence.tau0 * std::hypot(seeingError / seeing, windError / wind);
  }
  if (!fit.oneLayer) return {SeeingEstimate{seeing, seeingError}, std::nullopt, kNoSingleLayerReason};
  return {SeeingEstimate{seeing, seeingError}, coherence,
          coherence.tau0 ? "" : "the wind cannot be told from calm air in these readings"};
}

}  // namespace nebulor
