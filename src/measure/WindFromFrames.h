#pragma once

#include "core/Config.h"
#include "measure/FrameSeries.h"
#include "measure/SeeingReduction.h"
#include "measure/WindCorrection.h"

namespace nebulor {

// The wind from the correlation of neighbouring frames' differential motion,
// and the best estimate it corrects. Frames closer together than the wind's
// crossing time of a hole see nearly the same air, so the correlations of
// frames 1 and 2 apart, along and across, with the balance of the two
// directions' variances, give the path u = v t / D and the wind's angle
// through the frozen layer's response (WindResponse); the correlation, not
// the temporal structure function or spectrum, because it needs only
// neighbours, which every stream has, and the centroid noise, independent
// from frame to frame, drops out of it. Each direction's estimate is divided
// by its kept share to the power 3/5.
//
// Errors by the jackknife over the batches the series' error uses: every
// value is worked out again with each batch left out, so the correlation
// between frames and directions and the correction's own scatter are in it.
// No wind when the neighbours' correlation cannot be told from none: the
// air changed within a frame (no frozen layer is that fast) and there is
// nothing to correct.
WindCorrection CorrectFramesByWind(const MotionSeries& series, const FrameTiming& timing,
                                   const Config& config, const ExposureGeometry& geometry);

}  // namespace nebulor
