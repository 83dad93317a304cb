#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "camera/StarFinder.h"

namespace nebulor::camera {

struct ClickPoint {
  std::int16_t x = 0;  // image column
  std::int16_t y = 0;  // image row

  bool operator==(const ClickPoint&) const = default;
};

// The click state an image window exposes to the star selection, which polls
// it: ready for a click, mouse down, and where the latest press was. Presses
// come from the window or from a script. A scripted press behaves like a
// quick user: it comes only after the poller has asked whether a click is
// awaited and then seen the button up, and it is held down for exactly one
// poll of mouseDown(); so each scripted point makes one click of the
// selection's two waits.
class ClickState {
 public:
  // The image window, in image pixels.
  void press(ClickPoint point);
  void release();

  // The backend shows a new image: clicks are taken from now on, and a
  // "brightest stars" script picks its points from this image.
  void frameArrived(const Frame& frame);

  // Scripts: the given points in order, or the two brightest star images of
  // every image that arrives from now on.
  void scriptClicks(std::vector<ClickPoint> points);
  void scriptBrightestStars();

  // What the image document reports.
  std::int16_t clickNew();  // nonzero once an image is shown
  bool mouseDown();         // a press is reported at least once, however short
  std::int16_t clickX() const { return latest_.x; }
  std::int16_t clickY() const { return latest_.y; }

  // Told of every press, from the window or a script (the window marks them).
  void setPressObserver(std::function<void(ClickPoint)> observer);

 private:
  void startPress(ClickPoint point);

  bool ready_ = false;
  bool buttonDown_ = false;       // the window's button is held
  bool pressUnreported_ = false;  // a window press no poll has seen yet
  bool scriptedDown_ = false;     // a scripted press, released by the next poll
  bool upSeen_ = false;           // a poll has seen the button up since clickNew() was asked
  bool brightestScript_ = false;
  std::deque<ClickPoint> script_;
  ClickPoint latest_;
  std::function<void(ClickPoint)> observer_;
};

}  // namespace nebulor::camera
