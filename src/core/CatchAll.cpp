#include "core/CatchAll.h"

#include <exception>

#include "core/EventWait.h"

namespace nebulor {

std::optional<std::string> runCatchingAll(const std::function<void()>& work) {
  try {
    work();
  } catch (const WaitAbandoned&) {
    return std::nullopt;
  } catch (const std::exception& error) {
    const std::string text = error.what();
    return text.empty() ? std::string("An unexpected error occurred.") : text;
  } catch (...) {
    return std::string("An unexpected error occurred.");
  }
  return std::nullopt;
}

}  // namespace nebulor
