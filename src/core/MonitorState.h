#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "core/Coherence.h"
#include "core/Config.h"
#include "core/ProgramMode.h"

namespace nebulor {

class ReadingsFeed;

namespace camera {
class Application;
class Camera;
}  // namespace camera

// Booleans kept as 16-bit integers, as the imaging application expects them.
using Flag = std::int16_t;
inline constexpr Flag kTrue = -1;
inline constexpr Flag kFalse = 0;

// Slots of the seeing history; index 0 of this table and of the exposure
// tables (kMaxSamples) is never used for data, so they hold one more element.
inline constexpr int kHistorySlots = 200;

// All state the program shares: the program-wide values (configuration and
// the stop flag) and the members of the main window. One instance lives for
// the whole run; every value starts at zero, as before start-up.
struct MonitorState {
  using SampleTable = std::array<std::array<float, kMaxSamples + 1>, 3>;  // [star 0..2][exposure 0..200]
  using PerExposure = std::array<float, kMaxSamples + 1>;

  // Program-wide values.
  Config config;                         // zero until LoadConfig has run
  Flag stopRequested = kFalse;           // True while no measurement runs or one must stop
  bool configLoaded = false;             // LoadConfig ran: only then may config.ini be rewritten
  ProgramMode mode = ProgramMode::idle;  // decides which commands are usable

  // Members of the main window, in declaration order.
  SampleTable sampleX{};  // star k, exposure n, subframe pixels
  SampleTable sampleY{};
  std::int16_t sampleIndex = 0;     // current exposure of the reading, 1..samplesPerReading
  std::int16_t badSampleCount = 0;  // exposures rejected in the current reading
  PerExposure longDeviations{};     // pixels, slots 1..samplesPerReading
  PerExposure transDeviations{};
  std::array<float, kHistorySlots + 1> fwhmHistory{};  // arcsec, ring over slots 1..200
  std::int16_t historyCount = 0;                       // next slot to write, 1..200
  double longStdDev = 0;                               // pixels
  double transStdDev = 0;
  Flag starsSelected = kFalse;
  std::array<float, 3> starX{};  // stars 1 and 2 relative to the box origin
  std::array<float, 3> starY{};
  std::int16_t subframeMargin = 0;
  std::int16_t subframeMinX = 0;  // box in sensor pixels: minimum inclusive,
  std::int16_t subframeMaxX = 0;  // maximum exclusive
  std::int16_t subframeMinY = 0;
  std::int16_t subframeMaxY = 0;
  camera::Application* maximApp = nullptr;  // automation objects, owned by the backend
  camera::Camera* camera = nullptr;

  // Nebulor's own, beside the window's members.
  SampleTable sampleError{};        // 1-sigma centroid noise of star k, exposure n, pixels; 0: unknown
  double bestSeeing = 0;            // arcsec, best estimate of the latest reading; 0: none
  double bestSeeingError = 0;       // arcsec, its 1-sigma statistical error
  float bestExposure = 0;           // s, the exposure time the best estimate refers to (0: extrapolated)
  bool exposureCorrection = false;  // exposures alternate t and 2t, the best estimate extrapolated to 0
  bool fastAcquisition = false;     // frames back to back, a reading per span of frame time
  bool fixedExtrapolation =
      false;  // the correction by the fixed two-time extrapolation, not the measured wind
  std::optional<Coherence> coherence;  // the wind and tau0 of the latest reading; none: not measured,
  std::string coherenceUnknown;        // and why (empty when measured or nothing was tried)
  int readingExposures = 0;            // accepted exposures of the reading shown; 0: samplesPerReading
  ReadingsFeed* feed = nullptr;        // where the readings and the mode are published; none: nowhere
};

// The accepted exposures a reading holds: samplesPerReading, or the frames
// of a fast reading.
inline int readingLength(const MonitorState& state) {
  return state.readingExposures > 0 ? state.readingExposures : state.config.samplesPerReading;
}

}  // namespace nebulor
