#include "core/CatchAll.h"

#include <exception>

#include "core/EventWait.h"

namespace nebulor {

std::optional<Failure> runCatchingAll(const std::function<void()>& work) {
  try {
    work();
  } catch (const WaitAbandoned&) {
    return std::nullopt;
  } catch (const std::exception& error) {
    const std::string text = error.what();
    return Failure{text.empty() ? std::string("An unexpected error occurred.") : text};
  } catch (...) {
    return Failure{"An unexpected error occurred."};
  }
  return std::nullopt;
}

}  // namespace nebulor
