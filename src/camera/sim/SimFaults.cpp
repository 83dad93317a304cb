#include "camera/sim/SimFaults.h"

#include <array>
#include <string>
#include <utility>

#include "camera/Automation.h"

namespace nebulor::camera::sim {
namespace {

constexpr std::array<std::pair<SimOperation, std::string_view>, 10> kNames{{
    {SimOperation::expose, "expose"},
    {SimOperation::imageReady, "imageready"},
    {SimOperation::document, "document"},
    {SimOperation::prepare, "prepare"},
    {SimOperation::fitsKey, "fitskey"},
    {SimOperation::centroid, "centroid"},
    {SimOperation::click, "click"},
    {SimOperation::subframe, "subframe"},
    {SimOperation::fullFrame, "fullframe"},
    {SimOperation::sensorSize, "sensorsize"},
}};

}  // namespace

std::optional<SimOperation> operationNamed(std::string_view name) {
  for (const auto& [operation, text] : kNames) {
    if (text == name) return operation;
  }
  return std::nullopt;
}

std::string_view operationName(SimOperation operation) {
  for (const auto& [candidate, text] : kNames) {
    if (candidate == operation) return text;
  }
  return "?";
}

void SimFaults::check(SimOperation operation, int exposuresTaken) const {
  if (exposuresTaken >= failAfter && failing.count(operation) != 0) {
    throw AutomationError("Simulated failure of the camera operation '" +
                          std::string(operationName(operation)) + "'.");
  }
}

}  // namespace nebulor::camera::sim
