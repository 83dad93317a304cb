#pragma once

#include <optional>
#include <set>
#include <string_view>

namespace nebulor::camera::sim {

// Operations of the simulated application that a fault switch can make fail.
enum class SimOperation {
  expose,
  imageReady,
  document,
  prepare,
  fitsKey,
  centroid,
  click,
  subframe,
  fullFrame,
  sensorSize,
};

std::optional<SimOperation> operationNamed(std::string_view name);
std::string_view operationName(SimOperation operation);

// The operations that fail, and from which exposure on.
struct SimFaults {
  std::set<SimOperation> failing;
  int failAfter = 0;  // exposures that succeed before the failures start

  // Throws AutomationError when `operation` is switched to fail and
  // `exposuresTaken` exposures have already been made.
  void check(SimOperation operation, int exposuresTaken) const;
};

}  // namespace nebulor::camera::sim
