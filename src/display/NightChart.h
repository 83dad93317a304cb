#pragma once

#include <QString>
#include <optional>
#include <vector>

#include "core/Failure.h"
#include "measure/Night.h"

class QPainter;
class QRect;
class QSize;

namespace nebulor {

// The ranges of a chart's axes. A picture painted with the same ranges in
// the same area takes further readings with NightChart::paintFrom().
struct ChartRanges {
  std::time_t start = 0;  // across
  std::time_t end = 1;
  double top = 1;  // arcsec, up from 0
  double airmassLow = 1;
  double airmassHigh = 1.1;
  bool operator==(const ChartRanges&) const = default;
};

// The chart of one night, drawn with plain QPainter calls so that the same
// code paints the window, PNG and SVG files and any other paint device, with
// or without a display: local time across, seeing in arcsec up from 0; each
// best estimate a point with its 1-sigma bar, the classical value a fainter
// point, the running median of the best estimate over the 10 minutes up to
// each reading a line; gaps of more than 5 minutes stay empty; the rejected
// share of each reading's exposures is a band along the bottom, the airmass
// a strip below the plot. Sizes of text and marks follow the picture, from
// 640 x 360 to 1920 x 1080.
class NightChart {
 public:
  // live: the time axis runs on to the next whole hour and the ranges move
  // in steps, so that a picture holds while readings arrive.
  explicit NightChart(Night night = {}, bool live = false);

  // Readings of the same night taken after the last.
  void append(const std::vector<Reading>& readings);
  ChartRanges ranges() const;

  // Red on black with no green or blue when nightPalette is set.
  void paint(QPainter& painter, const QRect& area, bool nightPalette) const;
  // Adds the readings from index `first` on to a picture that paint() drew
  // in the same area with the same ranges(): their cost alone, not the night's.
  void paintFrom(QPainter& painter, const QRect& area, bool nightPalette, std::size_t first) const;

  // Writes the chart as PNG or SVG, chosen by the file name's ending; the
  // reason when it cannot.
  std::optional<Failure> save(const QString& path, const QSize& size, bool nightPalette) const;

  const Night& night() const { return night_; }

 private:
  void addMedians(std::size_t first);

  Night night_;
  bool live_ = false;
  std::vector<double> medians_;  // of the best estimates, in their order
  std::vector<double> highs_;    // sorted: the top of each reading's marks
  double airmassLow_ = 0;        // of the readings that have one; 0: none
  double airmassHigh_ = 0;
};

}  // namespace nebulor
