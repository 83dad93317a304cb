#include "core/EventWait.h"

namespace nebulor {

WaitEnd waitFor(EventPump& pump, const std::function<bool()>& ready, const WaitRules& rules) {
  const auto abandoned = [&] { return pump.windowClosing() || (rules.abandon && rules.abandon()); };
  const bool limited = rules.timeout != std::chrono::steady_clock::duration::max();
  const auto deadline = limited ? std::chrono::steady_clock::now() + rules.timeout
                                : std::chrono::steady_clock::time_point::max();
  for (;;) {
    if (abandoned()) return WaitEnd::abandoned;
    if (ready()) {
      pump.dispatchEvents();
      return abandoned() ? WaitEnd::abandoned : WaitEnd::ready;
    }
    if (limited && std::chrono::steady_clock::now() >= deadline) return WaitEnd::timedOut;
    pump.sleep(rules.interval);
    pump.dispatchEvents();
  }
}

}  // namespace nebulor
