#pragma once

#include <chrono>
#include <exception>
#include <functional>

#include "core/EventPump.h"

namespace nebulor {

// The polls of the waits: an image is looked for every 100 ms; a click, or a
// reply of a camera server, every 10 ms (a person cannot tell, a processor can).
inline constexpr std::chrono::milliseconds kImagePollInterval{100};
inline constexpr std::chrono::milliseconds kQuickPollInterval{10};

enum class WaitEnd {
  ready,      // ready() held
  abandoned,  // the window is closing or abandon() said so (a stop click, a closed image window)
  timedOut,   // the time limit passed first
};

struct WaitRules {
  std::chrono::milliseconds interval = kQuickPollInterval;
  std::function<bool()> abandon;  // empty: only the window closing ends the wait early
  std::chrono::steady_clock::duration timeout = std::chrono::steady_clock::duration::max();
};

// The one wait of the user-interface thread. Each pass asks ready(); when
// it holds, the window still dispatches its pending events once, so a stop
// click or a close is seen even when every answer comes at once. Otherwise
// it sleeps `interval` and then dispatches. The window closing and
// abandon() are checked before every look and after every dispatch.
WaitEnd waitFor(EventPump& pump, const std::function<bool()>& ready, const WaitRules& rules);

// Thrown by an operation whose wait was abandoned: not a failure, the user
// asked for it. Command handlers end quietly on it.
class WaitAbandoned : public std::exception {
 public:
  const char* what() const noexcept override { return "The wait was abandoned."; }
};

}  // namespace nebulor
