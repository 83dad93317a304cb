#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <variant>
#include <vector>

#include "../../support/ErrorOf.h"
#include "IndiServerProcess.h"
#include "camera/indi/IndiAutomationServer.h"
#include "camera/indi/IndiDocument.h"

namespace nebulor::testing {

// A bound on every wait of the tests, never a speed target.
inline constexpr auto kPatience = std::chrono::seconds(20);

// Polls until the condition holds; false if it never does within kPatience.
inline bool eventually(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + kPatience;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

inline const stars::Frame& frameOf(camera::Camera& camera) {
  return *std::dynamic_pointer_cast<camera::indi::IndiDocument>(camera.document())->frame();
}

inline double numberOf(const std::optional<camera::FitsValue>& value) {
  return value && std::holds_alternative<double>(*value) ? std::get<double>(*value) : -1;
}

// How a Rig is set up: server drivers, how the backend reaches the server
// (TCP or the server's unix socket), the CCD[:MOUNT] part of the option and
// the backend's time limits.
struct RigSetup {
  bool unixSocket = true;
  std::string devices;
  camera::indi::IndiTimeouts timeouts;
  std::vector<std::string> drivers = {"indi_simulator_ccd", "indi_simulator_telescope"};

  RigSetup& overTcp(bool tcp = true) {
    unixSocket = !tcp;
    return *this;
  }
  RigSetup& naming(std::string names) {
    devices = std::move(names);
    return *this;
  }
  RigSetup& waiting(camera::indi::IndiTimeouts limits) {
    timeouts = limits;
    return *this;
  }
  RigSetup& running(std::vector<std::string> programs) {
    drivers = std::move(programs);
    return *this;
  }
};

// A fresh server and the INDI backend pointed at it.
struct Rig {
  explicit Rig(const RigSetup& setup = RigSetup())
      : server(setup.drivers),
        backend(camera::indi::parseIndiOptions(setup.unixSocket ? server.socketOption(setup.devices)
                                                                : server.tcpOption(setup.devices)),
                setup.timeouts) {}

  void link() {
    application = backend.createApplication();
    camera = backend.createCamera();
    camera->setLinkEnabled(true);
    ASSERT_TRUE(camera->linkEnabled());
  }

  // The readout box of later exposures, as the measurement cycle sends it.
  void setBox(std::int16_t x, std::int16_t y, std::int16_t width, std::int16_t height) {
    camera->setStartX(x);
    camera->setNumX(width);
    camera->setStartY(y);
    camera->setNumY(height);
  }

  void exposeAndWait(float seconds) {
    camera->expose(seconds);
    ASSERT_TRUE(eventually([&] { return camera->imageReady(); })) << "no image";
  }

  IndiServerProcess server;
  camera::indi::IndiAutomationServer backend;
  std::unique_ptr<camera::Application> application;
  std::unique_ptr<camera::Camera> camera;
};

}  // namespace nebulor::testing
