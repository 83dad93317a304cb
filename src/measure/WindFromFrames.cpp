#include "measure/WindFromFrames.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <vector>

#include "core/FriedParameter.h"
#include "measure/CorrelatedError.h"
#include "measure/WindResponse.h"

namespace nebulor {
namespace {

// What the estimate reads of a stretch of frames, pixels^2.
struct Sums {
  MotionShares squares;    // squared deviations
  MotionShares next;       // products of neighbours' deviations
  MotionShares afterNext;  // of frames two apart
  double noise = 0;        // centroid noise variance
  int frames = 0;
  int nextPairs = 0;
  int afterNextPairs = 0;

  void add(const Sums& o, int sign) {
    squares.along += sign * o.squares.along, squares.across += sign * o.squares.across;
    next.along += sign * o.next.along, next.across += sign * o.next.across;
    afterNext.along += sign * o.afterNext.along, afterNext.across += sign * o.afterNext.across;
    noise += sign * o.noise;
    frames += sign * o.frames;
    nextPairs += sign * o.nextPairs;
    afterNextPairs += sign * o.afterNextPairs;
  }
};

// What a stretch of frames measured: each direction's estimate as exposed,
// and the correlations and balance the wind is fitted to.
struct Measures {
  std::optional<DirectionEstimate> along, across;
  std::array<double, 5> fitted{};  // next along, across; after next along, across; balance
  double correlation = 0;          // of neighbours' total power
  bool valid = false;
};

struct Values {
  double seeing = 0;     // corrected, arcsec
  double wind = 0;       // m/s
  bool oneLayer = true;  // the fit's layer explains the frames
};

MotionShares correlation(const MotionShares& products, int pairs, const MotionShares& turbulence) {
  return {products.along / pairs / turbulence.along, products.across / pairs / turbulence.across};
}

}  // namespace

WindCorrection CorrectFramesByWind(const MotionSeries& series, const FrameTiming& timing,
                                   const Config& config, const ExposureGeometry& geometry) {
  const int n = series.n;
  const int batches = kErrorBatches;
  if (n < batches * kLeastBatchLength || timing.sequence == nullptr || !(timing.exposure > 0)) {
    return {std::nullopt, std::nullopt, "the reading holds too few frames to time the wind"};
  }
  const float* along = series.longDeviations;
  const float* across = series.transDeviations;
  std::vector<Sums> batch(static_cast<std::size_t>(batches));
  for (int i = 1; i <= n; ++i) {
    Sums& s = batch[static_cast<std::size_t>(static_cast<long>(i - 1) * batches / n)];
    s.squares.along += along[i] * along[i];
    s.squares.across += across[i] * across[i];
    s.noise += centroidNoise(series, i);
    ++s.frames;
    // Frames 1 and 2 apart by the camera's count; a frame dropped between
    // them leaves a gap that is no pair.
    for (int j = i + 1; j <= n && timing.sequence[j] - timing.sequence[i] <= 2; ++j) {
      const bool next = timing.sequence[j] - timing.sequence[i] == 1;
      (next ? s.next : s.afterNext).along += along[i] * along[j];
      (next ? s.next : s.afterNext).across += across[i] * across[j];
      ++(next ? s.nextPairs : s.afterNextPairs);
    }
  }
  const double diameter = config.holeDiameter * 1e-3;
  const auto response = WindResponse::forMask(config, std::max(timing.interval / timing.exposure, 1.0));

  const auto measure = [&](const Sums& s) {
    Measures m;
    if (s.frames < 2 || s.nextPairs < 1 || s.afterNextPairs < 1) return m;
    const double noise = s.noise / s.frames;
    m.along = EstimateDirection(MotionAxis::along, s.squares.along / (s.frames - 1), noise, s.frames, config,
                                geometry);
    m.across = EstimateDirection(MotionAxis::across, s.squares.across / (s.frames - 1), noise, s.frames,
                                 config, geometry);
    if (!m.along || !m.across) return m;
    const MotionShares turbulence{m.along->turbulence, m.across->turbulence};
    const MotionShares next = correlation(s.next, s.nextPairs, turbulence);
    const MotionShares afterNext = correlation(s.afterNext, s.afterNextPairs, turbulence);
    m.fitted = {next.along, next.across, afterNext.along, afterNext.across,
                std::pow(m.along->seeing / m.across->seeing, 5.0 / 3.0)};
    m.correlation = (s.next.along + s.next.across) / s.nextPairs / (turbulence.along + turbulence.across);
    m.valid = true;
    return m;
  };
  Sums all;
  for (const Sums& s : batch) all.add(s, 1);
  if (all.nextPairs < n / 2) {
    return {std::nullopt, std::nullopt,
            "too few neighbouring frames: most followed a frame dropped or fresh air"};
  }
  const WindCorrection belowNoise{std::nullopt, std::nullopt, "the frames' motion is below their noise"};
  const Measures whole = measure(all);
  if (!whole.valid) return belowNoise;
  std::vector<Measures> leftOut;
  for (const Sums& left : batch) {
    Sums rest = all;
    rest.add(left, -1);
    leftOut.push_back(measure(rest));
    if (!leftOut.back().valid) return belowNoise;
  }
  const auto errorOf = [&leftOut](auto value) {
    std::vector<double> values;
    for (const Measures& m : leftOut) values.push_back(value(m));
    return jackknifeError(values);
  };
  // Frames in fresh air every time (boiling air, or far apart) say nothing of a wind.
  if (std::abs(whole.correlation) < 2 * errorOf([](const Measures& m) { return m.correlation; })) {
    return {std::nullopt, std::nullopt, "neighbouring frames are uncorrelated: the air changed between them"};
  }
  std::array<Measured, 5> weighted;
  for (std::size_t k = 0; k < weighted.size(); ++k) {
    weighted[k].error = std::max(errorOf([k](const Measures& m) { return m.fitted[k]; }), 1e-6);
  }
  const auto values = [&](const Measures& m) {
    std::array<Measured, 5> at = weighted;
    for (std::size_t k = 0; k < at.size(); ++k) at[k].value = m.fitted[k];
    const WindFit fit = response->fitNeighbours({at[0], at[1], at[2], at[3]}, at[4]);
    return Values{fit.corrected(m.along->seeing, m.across->seeing), fit.speed(diameter, timing.exposure),
                  fit.oneLayer};
  };
  const Values best = values(whole);
  if (!(best.wind * timing.exposure / diameter < kLongestPath)) {
    return {std::nullopt, std::nullopt, "the frames decorrelate faster than any wind they could time"};
  }
  std::vector<double> seeings, winds;
  for (const Measures& m : leftOut) {
    const Values v = values(m);
    seeings.push_back(v.seeing);
    winds.push_back(v.wind);
  }
  const double seeingError = jackknifeError(seeings);
  const double windError = jackknifeError(winds);
  Coherence coherence{best.wind, windError, std::nullopt, 0};
  if (best.wind > 2 * windError) {
    // tau0 goes as 1 / (seeing V): its left-out values carry both errors and their correlation.
    std::vector<double> tau0s;
    for (std::size_t k = 0; k < seeings.size(); ++k) {
      tau0s.push_back(tau0Milliseconds(config.wavelength, seeings[k], winds[k]));
    }
    coherence.tau0 = tau0Milliseconds(config.wavelength, best.seeing, best.wind);
    coherence.tau0Error = jackknifeError(tau0s);
  }
  if (!best.oneLayer) {
    return {SeeingEstimate{best.seeing, seeingError}, std::nullopt, kNoSingleLayerReason};
  }
  return {SeeingEstimate{best.seeing, seeingError}, coherence,
          coherence.tau0 ? "" : "the wind cannot be told from calm air in this reading"};
}

}  // namespace nebulor
