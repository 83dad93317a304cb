#pragma once

#include <array>
#include <optional>

#include "core/MonitorState.h"
#include "measure/SeeingReduction.h"
#include "stars/CentroidResponse.h"

namespace nebulor {

// Nebulor's best estimate of a reading's seeing, lambda / r0 at the zenith
// in arcseconds, and its statistical 1-sigma error. It sits beside the
// reduction's value and never replaces it.
struct SeeingEstimate {
  double seeing = 0;  // arcsec
  double error = 0;   // arcsec
};

// One direction's best estimate before the two are averaged, with the
// degrees of freedom its variance was estimated with (fewer than N - 1 when
// centroid noise was taken off).
struct DirectionEstimate {
  double seeing = 0;  // arcsec
  double error = 0;   // arcsec
  double nu = 0;
  double turbulence = 0;  // pixels^2, the variance less the centroid noise; 0 when extrapolated
};

// What the best estimate reads of a reading: its deviations along and
// across (1..n) and each exposure's centroid noise of both images (1..n, index
// 0 unused; 0: unknown), from the exposure tables or a longer series.
struct MotionSeries {
  const float* longDeviations = nullptr;
  const float* transDeviations = nullptr;
  std::array<const float*, 3> centroidError{};
  int n = 0;
};

// E[(chi^2_nu / nu)^(3/5)]: what the 3/5 power of a variance estimated
// with nu degrees of freedom gives on average, as a share of the truth.
double powerBias(double nu);

// The best estimate of the reading just reduced (ReduceReading has filled
// longDeviations and transDeviations 1..N):
// - the variance of each direction about the reading's own mean, over N - 1;
// - less the centroid noise: each exposure's sampleError of both images,
//   squared and summed (the difference of two independent centroids);
// - through the response of the star finder's centroid: the G-tilt
//   coefficients plus the finder's own motion, which depends a little on
//   D / r0 and so on the estimate itself (a few rounds settle it);
// - divided by powerBias for the degrees of freedom the noise leaves;
// - longitudinal and transverse averaged, errors combined as independent.
// Nothing when the reading has fewer than 2 exposures or the noise exceeds
// the variance in both directions.
std::optional<SeeingEstimate> EstimateSeeing(const MonitorState& state, const ExposureGeometry& geometry);

enum class MotionAxis { along, across };

// The centroid noise of exposure i's deviation, pixels^2: a difference of
// two centroids, each with its own error per axis, the same along and across.
double centroidNoise(const MotionSeries& series, int i);

// One direction's estimate from the variance of its deviations (pixels^2,
// over n - 1) and the mean centroid noise of its n exposures (pixels^2);
// nothing when the noise exceeds the variance.
std::optional<DirectionEstimate> EstimateDirection(MotionAxis axis, double variance, double noise, int n,
                                                   const Config& config, const ExposureGeometry& geometry);

// The longitudinal and the transverse estimate behind EstimateSeeing; a
// direction whose noise exceeds its variance (or any direction of a reading
// of fewer than 2 exposures) is empty.
std::array<std::optional<DirectionEstimate>, 2> EstimateDirections(const MonitorState& state,
                                                                   const ExposureGeometry& geometry);
std::array<std::optional<DirectionEstimate>, 2> EstimateDirections(const MotionSeries& series,
                                                                   const Config& config,
                                                                   const ExposureGeometry& geometry);

// The best estimate of a series whose neighbouring exposures are correlated
// (frames closer together than the wind's crossing time of the base): the
// same value as EstimateSeeing, its error from the scatter of the series
// itself rather than from the number of exposures. Each exposure's share of
// the estimate (its squared deviations less its noise, weighted as the two
// directions enter the seeing to first order) is a series whose mean's
// error the batch means give, correlation along and across included.
std::optional<SeeingEstimate> EstimateSeeingOfSeries(const MotionSeries& series, const Config& config,
                                                     const ExposureGeometry& geometry);

// Longitudinal and transverse averaged, errors combined as independent; one
// direction alone when the other is empty.
std::optional<SeeingEstimate> CombineDirections(
    const std::array<std::optional<DirectionEstimate>, 2>& directions);

}  // namespace nebulor
