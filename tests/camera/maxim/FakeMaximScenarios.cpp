#include "FakeMaximScenarios.h"

#include <stdexcept>

namespace nebulor::testing {

namespace {

// Classes of the fake server; the last byte tells the scenarios apart.
constexpr CLSID fakeClass(unsigned char scenario, unsigned char object) {
  return {0x6E2B1C40, 0x51A7, 0x4C1E, {0x9D, 0x3F, 0x4E, 0x65, 0x62, 0x75, object, scenario}};
}

FakeMaximScenario scenario(unsigned char number, const std::string& name, bool realProgIds,
                           std::string settings) {
  const std::string prefix = realProgIds ? "MaxIm." : "Nebulor.FakeMaxim." + name + ".";
  return {name,
          prefix + "Application",
          prefix + "CCDCamera",
          fakeClass(number, 1),
          fakeClass(number, 2),
          std::move(settings)};
}

}  // namespace

const std::vector<FakeMaximScenario>& fakeMaximScenarios() {
  static const std::vector<FakeMaximScenario> scenarios{
      scenario(1, "Night", true, "clicks=brightest,seed=7"),
      scenario(2, "TelescopeRaises", false, "clicks=brightest,seed=7,telescope=raise"),
      scenario(3, "NoFocalLength", false, "clicks=brightest,seed=7,missing=FOCALLEN"),
      scenario(4, "NoLink", false, "linkfail=1"),
  };
  return scenarios;
}

const FakeMaximScenario& fakeMaximScenario(const std::string& name) {
  for (const FakeMaximScenario& s : fakeMaximScenarios()) {
    if (s.name == name) return s;
  }
  throw std::invalid_argument("no fake imaging application " + name);
}

}  // namespace nebulor::testing
