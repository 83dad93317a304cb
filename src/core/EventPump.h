#pragma once

#include <chrono>

namespace nebulor {

// What every wait on the user-interface thread needs of the window: let it
// dispatch its pending events (a click may run re-entrantly in there), sleep
// without dispatching, and tell whether the user has closed it.
class EventPump {
 public:
  virtual ~EventPump() = default;

  virtual void dispatchEvents() = 0;
  virtual void sleep(std::chrono::milliseconds duration) = 0;
  // True once the user has closed the window: every wait must then end.
  virtual bool windowClosing() const = 0;
};

}  // namespace nebulor
