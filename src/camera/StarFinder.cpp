#include "camera/StarFinder.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace nebulor::camera {
namespace {

// The search box reaches this far from the requested point: enough for a
// click a few pixels off or a reading's worth of drift and image motion,
// short of the second star image about 40 pixels away.
constexpr int kSearchHalfSize = 12;
// The centroid sums pixels within this radius of the current estimate; the
// threshold below keeps the edge of the aperture out of the result.
constexpr double kApertureRadius = 8.0;
// Only signal this many noise units above the background carries weight.
constexpr double kThresholdInNoise = 3.0;
// A perfectly flat border (synthetic or clipped data) still needs a noise
// unit to divide by: one count, the quantisation step.
constexpr double kMinimumNoise = 1.0;
constexpr int kMaxIterations = 20;
constexpr double kConvergence = 1e-4;
constexpr std::uint16_t kFullScale = 65535;
constexpr double kCleanDetection = 10.0;
// Median absolute deviation to standard deviation for Gaussian noise.
constexpr double kMadToSigma = 1.4826;

struct Box {
  int x0, y0, x1, y1;  // inclusive
};

bool usable(const Frame& frame) {
  return frame.width > 0 && frame.height > 0 &&
         frame.pixels.size() >= static_cast<std::size_t>(frame.width) * frame.height;
}

double median(std::vector<double>& values) {
  const auto middle = values.begin() + static_cast<std::ptrdiff_t>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

struct Background {
  double level = 0;
  double noise = kMinimumNoise;
};

// Robust level and noise of the box's border pixels: the star image rarely
// touches the border, and the median ignores it when it does.
Background borderBackground(const Frame& frame, const Box& box) {
  std::vector<double> values;
  values.reserve(static_cast<std::size_t>(2 * (box.x1 - box.x0 + box.y1 - box.y0 + 2)));
  for (int x = box.x0; x <= box.x1; ++x) {
    values.push_back(frame.at(x, box.y0));
    if (box.y1 != box.y0) values.push_back(frame.at(x, box.y1));
  }
  for (int y = box.y0 + 1; y < box.y1; ++y) {
    values.push_back(frame.at(box.x0, y));
    if (box.x1 != box.x0) values.push_back(frame.at(box.x1, y));
  }
  Background result;
  result.level = median(values);
  for (double& v : values) v = std::abs(v - result.level);
  result.noise = std::max(kMadToSigma * median(values), kMinimumNoise);
  return result;
}

// Sum of the 3x3 neighbourhood clipped to the frame: locating the peak on
// it rather than on single pixels keeps a lone noise spike from winning.
long neighbourhoodSum(const Frame& frame, int cx, int cy) {
  long sum = 0;
  for (int y = std::max(cy - 1, 0); y <= std::min(cy + 1, frame.height - 1); ++y) {
    for (int x = std::max(cx - 1, 0); x <= std::min(cx + 1, frame.width - 1); ++x) {
      sum += frame.at(x, y);
    }
  }
  return sum;
}

struct Peak {
  int x = 0;
  int y = 0;
};

Peak brightestNeighbourhood(const Frame& frame, const Box& box) {
  Peak best{box.x0, box.y0};
  long bestSum = -1;
  for (int y = box.y0; y <= box.y1; ++y) {
    for (int x = box.x0; x <= box.x1; ++x) {
      const long sum = neighbourhoodSum(frame, x, y);
      if (sum > bestSum) {
        bestSum = sum;
        best = {x, y};
      }
    }
  }
  return best;
}

struct Moment {
  double x = 0;
  double y = 0;
  bool valid = false;
  bool saturated = false;
};

// One first moment of the thresholded, background-subtracted pixels within
// the aperture round (cx, cy). Subtracting the threshold (not just the
// background) makes each weight grow from zero, so the result changes
// smoothly as the star moves across pixel boundaries.
Moment firstMoment(const Frame& frame, double cx, double cy, double floorLevel) {
  const int x0 = std::max(static_cast<int>(std::ceil(cx - kApertureRadius)), 0);
  const int x1 = std::min(static_cast<int>(std::floor(cx + kApertureRadius)), frame.width - 1);
  const int y0 = std::max(static_cast<int>(std::ceil(cy - kApertureRadius)), 0);
  const int y1 = std::min(static_cast<int>(std::floor(cy + kApertureRadius)), frame.height - 1);
  double sumW = 0, sumX = 0, sumY = 0;
  Moment m;
  for (int y = y0; y <= y1; ++y) {
    const double dy = y - cy;
    for (int x = x0; x <= x1; ++x) {
      const double dx = x - cx;
      if (dx * dx + dy * dy > kApertureRadius * kApertureRadius) continue;
      const std::uint16_t raw = frame.at(x, y);
      const double w = raw - floorLevel;
      if (w <= 0) continue;
      m.saturated = m.saturated || raw == kFullScale;
      sumW += w;
      sumX += w * x;
      sumY += w * y;
    }
  }
  if (sumW > 0) {
    m.x = sumX / sumW;
    m.y = sumY / sumW;
    m.valid = true;
  }
  return m;
}

}  // namespace

StarMeasurement findStarNear(const Frame& frame, double x, double y) {
  StarMeasurement result{x, y, 0.0, StarStatus::outsideFrame};
  if (!usable(frame) || !std::isfinite(x) || !std::isfinite(y)) return result;
  const double ix = std::nearbyint(x);
  const double iy = std::nearbyint(y);
  if (ix < 0 || iy < 0 || ix >= frame.width || iy >= frame.height) return result;

  const int px = static_cast<int>(ix);
  const int py = static_cast<int>(iy);
  const Box box{std::max(px - kSearchHalfSize, 0), std::max(py - kSearchHalfSize, 0),
                std::min(px + kSearchHalfSize, frame.width - 1),
                std::min(py + kSearchHalfSize, frame.height - 1)};
  const bool clipped = box.x1 - box.x0 < 2 * kSearchHalfSize || box.y1 - box.y0 < 2 * kSearchHalfSize;

  const Background background = borderBackground(frame, box);
  const Peak peak = brightestNeighbourhood(frame, box);
  result.score = (frame.at(peak.x, peak.y) - background.level) / background.noise;
  result.status = StarStatus::faint;

  const double floorLevel = background.level + kThresholdInNoise * background.noise;
  double cx = peak.x, cy = peak.y;
  Moment m = firstMoment(frame, cx, cy, floorLevel);
  if (!m.valid) return result;  // nothing above the threshold: keep the requested point
  for (int i = 0; i < kMaxIterations && m.valid; ++i) {
    const bool settled = std::abs(m.x - cx) < kConvergence && std::abs(m.y - cy) < kConvergence;
    cx = m.x;
    cy = m.y;
    if (settled) break;
    const Moment next = firstMoment(frame, cx, cy, floorLevel);
    if (next.valid)
      m = next;
    else
      break;
  }
  result.x = cx;
  result.y = cy;
  if (result.score < kCleanDetection)
    result.status = StarStatus::faint;
  else if (m.saturated)
    result.status = StarStatus::saturated;
  else if (clipped)
    result.status = StarStatus::nearEdge;
  else
    result.status = StarStatus::found;
  return result;
}

std::vector<StarMeasurement> findBrightestStars(const Frame& frame, int count) {
  std::vector<StarMeasurement> stars;
  if (!usable(frame) || count <= 0) return stars;
  const int width = frame.width;
  const int height = frame.height;
  const std::size_t size = static_cast<std::size_t>(width) * height;
  // The 3x3 neighbourhood sums of every pixel, clipped at the edges, in two
  // separable passes: a full frame takes a few milliseconds, not tens.
  std::vector<std::int32_t> rows(size);
  for (int y = 0; y < height; ++y) {
    const std::uint16_t* in = frame.pixels.data() + static_cast<std::size_t>(y) * width;
    std::int32_t* out = rows.data() + static_cast<std::size_t>(y) * width;
    for (int x = 0; x < width; ++x) {
      out[x] = in[x] + (x > 0 ? in[x - 1] : 0) + (x + 1 < width ? in[x + 1] : 0);
    }
  }
  std::vector<std::int32_t> sums(size);
  for (std::size_t i = 0; i < size; ++i) {
    const bool top = i < static_cast<std::size_t>(width);
    const bool bottom = i + width >= size;
    sums[i] = rows[i] + (top ? 0 : rows[i - width]) + (bottom ? 0 : rows[i + width]);
  }
  // The greatest sum of each row, so that finding the next peak reads the
  // rows' maxima and one row, not the whole frame.
  const auto row = [&sums, width](int y) { return sums.begin() + static_cast<std::ptrdiff_t>(y) * width; };
  std::vector<std::int32_t> rowMax(static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y)
    rowMax[static_cast<std::size_t>(y)] = *std::max_element(row(y), row(y) + width);
  while (static_cast<int>(stars.size()) < count) {
    // The first of equals, in reading order.
    const auto bestRow = std::max_element(rowMax.begin(), rowMax.end());
    if (*bestRow < 0) break;
    const int peakY = static_cast<int>(bestRow - rowMax.begin());
    const int peakX = static_cast<int>(std::max_element(row(peakY), row(peakY) + width) - row(peakY));
    const StarMeasurement star = findStarNear(frame, peakX, peakY);
    stars.push_back(star);
    // Peaks closer than a search box to a star already found belong to it.
    const int x0 = std::max(static_cast<int>(std::ceil(star.x - kSearchHalfSize)), 0);
    const int x1 = std::min(static_cast<int>(std::floor(star.x + kSearchHalfSize)), width - 1);
    const int y0 = std::max(static_cast<int>(std::ceil(star.y - kSearchHalfSize)), 0);
    const int y1 = std::min(static_cast<int>(std::floor(star.y + kSearchHalfSize)), height - 1);
    for (int y = y0; y <= y1; ++y) {
      if (x0 <= x1) std::fill(row(y) + x0, row(y) + x1 + 1, -1);
      rowMax[static_cast<std::size_t>(y)] = *std::max_element(row(y), row(y) + width);
    }
  }
  return stars;
}

}  // namespace nebulor::camera
