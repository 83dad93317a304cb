#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camera/Automation.h"
#include "stars/StarFinder.h"
#include "stars/StarPair.h"

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
//
// While the selection waits for its clicks (it has asked clickNew() since
// the image arrived), a press in the window on something that cannot be one
// of the two star images (no clean detection near it, or the star image
// already chosen) is refused on the spot: the selection never sees it, and
// refusal() says why until the next press. prompt() names the step.
class ClickState {
 public:
  // The image window, in image pixels. False when the press was refused.
  bool press(ClickPoint point);
  void release();

  // The backend shows a new image: clicks are taken from now on, and a
  // script of the automatic pair picks its points on this image.
  void frameArrived(std::shared_ptr<const stars::Frame> frame);

  // Scripts: the given points in order, or the pair the automatic selection
  // chooses (star images this far apart) on every image that arrives from
  // now on; no clicks on an image where it finds none.
  void scriptClicks(std::vector<ClickPoint> points);
  void scriptAutomaticPair(stars::SeparationRange separation);

  // What the image document reports.
  std::int16_t clickNew();  // nonzero once an image is shown
  bool mouseDown();         // a press is reported at least once, however short
  std::int16_t clickX() const { return latest_.x; }
  std::int16_t clickY() const { return latest_.y; }

  // Told of every press taken, from the window or a script (the window
  // marks them), and of every change of prompt() or refusal().
  void setPressObserver(std::function<void(ClickPoint)> observer);
  void setChangeObserver(std::function<void()> observer);

  // "Click the first star image", "Click the second star image", or empty
  // when no click is awaited.
  std::string prompt() const;
  // Why the latest press was refused ("Click refused: ..."); empty when it was taken.
  const std::string& refusal() const { return refusal_; }

 private:
  void startPress(ClickPoint point);
  void changed();

  bool ready_ = false;
  bool buttonDown_ = false;       // the window's button is held
  bool pressUnreported_ = false;  // a window press no poll has seen yet
  bool scriptedDown_ = false;     // a scripted press, released by the next poll
  bool upSeen_ = false;           // a poll has seen the button up since clickNew() was asked
  std::optional<stars::SeparationRange> pairScript_;
  std::deque<ClickPoint> script_;
  ClickPoint latest_;
  std::function<void(ClickPoint)> observer_;
  std::function<void()> changeObserver_;

  std::shared_ptr<const stars::Frame> frame_;  // the image the clicks are made on
  bool awaiting_ = false;                      // the selection has asked for clicks on it
  int taken_ = 0;                              // presses taken on it
  std::optional<stars::Centroid> chosen_;      // the star image of the first of them
  std::string refusal_;
};

}  // namespace nebulor::camera
