#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "camera/Automation.h"
#include "core/MonitorState.h"
#include "core/MonitorUi.h"

namespace nebulor {

// Pixels added round the two stars on every side of the readout box.
inline constexpr std::int16_t kSubframeMargin = 50;

// Nearest 16-bit integer, halves to the even neighbour. Values beyond the
// 16-bit range are clamped and a value that is not a number gives 0, so a
// wild centroid can never make the conversion undefined.
std::int16_t roundToInt16(double value);

// The box arithmetic shared by the selection and by UpdateSubframe. A box is
// built by starting from the sentinels, including each star, then widening
// by subframeMargin and clipping to the sensor.
void startSubframe(MonitorState& state);
void includeInSubframe(MonitorState& state, double x, double y);
void widenAndClipSubframe(MonitorState& state, int cameraXSize, int cameraYSize);

// True when the box holds at least one pixel and lies on a sensor of that size.
bool subframeOnSensor(const MonitorState& state, int cameraXSize, int cameraYSize);

// The box round two star images (centroids in full-frame sensor pixels), as
// a selection builds it: the margin, the box widened and clipped, the star
// positions made relative to it. False when the box does not lie on the
// sensor; starsSelected is left to the caller.
bool placeStarsInSubframe(MonitorState& state, const std::array<stars::Centroid, 2>& stars, int cameraXSize,
                          int cameraYSize);

// Re-centres the box on starX/starY (relative to the current box) and shifts
// them into the new box; a star's sensor position does not change. Does not
// send the box to the camera.
void UpdateSubframe(MonitorState& state, camera::Camera& camera);

// The camera object of the state; throws AutomationError when start-up could
// not create it, so a command reports that instead of crashing.
camera::Camera& linkedCamera(const MonitorState& state);

// The "Select Stars" command: a full-frame exposure, the user clicks each
// star image in the imaging application's image window, and the box is built
// round the centroids found near the clicks.
class StarSelection {
 public:
  StarSelection(MonitorState& state, MonitorUi& ui);

  // Click on "Select Stars" (ignored unless the program is idle). Any error
  // is shown in a message; every way out returns the commands to idle, with
  // no stars selected unless both were clicked.
  void CommandSelect_Click();

  // The user closed the image window: a running selection ends as if
  // stopped, with no stars selected. Outside a selection it changes nothing.
  void imageWindowClosed();

  // The running selection is to end (its image window was closed).
  bool abandoned() const;

 private:
  enum class Outcome { selected, abandoned, offSensor, notTwoStars };

  Outcome SelectStars();
  bool waitForClick(camera::ImageDocument& document);

  MonitorState& state_;
  MonitorUi& ui_;
  bool imageWindowClosed_ = false;
  std::string refusal_;  // why the clicks did not give two star images
};

}  // namespace nebulor
