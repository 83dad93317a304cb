#pragma once

#include <QString>
#include <optional>
#include <vector>

#include "measure/Night.h"

class QPainter;
class QRect;
class QSize;

namespace nebulor {

// The chart of one night, drawn with plain QPainter calls so that the same
// code paints the window, PNG and SVG files and any other paint device, with
// or without a display: local time across, seeing in arcsec up from 0; each
// best estimate a point with its 1-sigma bar, the classical value a fainter
// point, the 10-minute running median of the best estimate a line; gaps of
// more than 5 minutes stay empty; the rejected share of each reading's
// exposures is a band along the bottom, the airmass a strip below the plot.
// Sizes of text and marks follow the picture, from 640 x 360 to 1920 x 1080.
class NightChart {
 public:
  explicit NightChart(Night night = {});

  // Red on black with no green or blue when nightPalette is set.
  void paint(QPainter& painter, const QRect& area, bool nightPalette) const;

  // Writes the chart as PNG or SVG, chosen by the file name's ending; the
  // reason when it cannot.
  std::optional<QString> save(const QString& path, const QSize& size, bool nightPalette) const;

  const Night& night() const { return night_; }

 private:
  Night night_;
  std::vector<double> medians_;  // of the best estimates, in their order
};

}  // namespace nebulor
