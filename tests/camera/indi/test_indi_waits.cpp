#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "../../support/ErrorOf.h"
#include "camera/indi/IndiAutomationServer.h"
#include "camera/indi/IndiCamera.h"
#include "camera/indi/IndiConnection.h"
#include "core/EventWait.h"

// The waits of the INDI backend over a scripted wire instead of a server:
// the paths that end in a time limit, a stop or a close, in milliseconds.
namespace nebulor::camera::indi {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;
using testing::errorOf;

constexpr IndiTimeouts kShort{.connect = milliseconds(50),
                              .discover = milliseconds(60),
                              .reply = milliseconds(60),
                              .imageMargin = milliseconds(60)};

// A server that takes the connection and then answers only what the test scripts.
class ScriptedWire : public IndiTransport {
 public:
  explicit ScriptedWire(IndiConnection& connection) : connection_(connection) {}

  bool connect(milliseconds) override {
    connection_.update([](IndiSnapshot& snapshot) { snapshot.serverConnected = true; });
    return true;
  }
  bool connected() override { return true; }
  void disconnect() override {}
  void sendNumbers(const std::string&, const std::string& property,
                   const std::vector<std::pair<std::string, double>>&) override {
    sent.push_back(property);
  }
  void sendSwitch(const std::string&, const std::string& property, const std::string& element) override {
    sent.push_back(property + "." + element);
    if (onSwitch) onSwitch(property, element);
  }
  void sendText(const std::string&, const std::string& property, const std::string&,
                const std::string&) override {
    sent.push_back(property);
  }
  void enableImages(const std::string&) override {}

  std::vector<std::string> sent;
  std::function<void(const std::string&, const std::string&)> onSwitch;

 private:
  IndiConnection& connection_;
};

// A camera as a driver reports it: linked, sensor 640 x 480, idle.
void reportLinkedCamera(IndiSnapshot& snapshot) {
  IndiDevice& ccd = snapshot.devices["CCD"];
  snapshot.deviceOrder = {"CCD"};
  ccd.properties["DRIVER_INFO"].texts["DRIVER_INTERFACE"] = "2";
  ccd.properties["CONNECTION"].switches["CONNECT"] = true;
  ccd.properties["CCD_INFO"].numbers = {{"CCD_MAX_X", 640}, {"CCD_MAX_Y", 480}};
  ccd.properties["CCD_FRAME"].numbers = {{"X", 0}, {"Y", 0}, {"WIDTH", 640}, {"HEIGHT", 480}};
  ccd.properties["CCD_EXPOSURE"].numbers = {{"CCD_EXPOSURE_VALUE", 0}};
}

// The window's events: counts dispatches and runs the test's click in one.
struct CountingPump : EventPump {
  void dispatchEvents() override {
    ++dispatches;
    if (onDispatch) onDispatch();
  }
  void sleep(milliseconds duration) override { std::this_thread::sleep_for(duration); }
  bool windowClosing() const override { return closing; }

  int dispatches = 0;
  bool closing = false;
  std::function<void()> onDispatch;
};

struct WireRig {
  WireRig()
      : connection(IndiOptions{}, kShort, [this](IndiConnection& owner) {
          auto made = std::make_unique<ScriptedWire>(owner);
          wire = made.get();
          return made;
        }) {}

  // A camera on the scripted wire, linked.
  std::unique_ptr<IndiCamera> linkedCamera() {
    connection.ensureConnected();
    connection.update(reportLinkedCamera);
    auto shared = std::shared_ptr<IndiConnection>(&connection, [](IndiConnection*) {});
    auto camera = std::make_unique<IndiCamera>(shared, std::make_shared<ImageDisplay>());
    camera->setLinkEnabled(true);
    EXPECT_TRUE(camera->linkEnabled());
    return camera;
  }

  // The driver's report of CCD_EXPOSURE in the given state.
  void reportExposure(PropertyStatus status) {
    connection.update([&](IndiSnapshot& snapshot) {
      IndiProperty& exposure = snapshot.devices["CCD"].properties["CCD_EXPOSURE"];
      exposure.status = status;
      ++exposure.updates;
    });
  }

  // An image of the whole sensor that says how long it was exposed.
  void reportImage(double seconds) {
    auto fits = std::make_shared<FitsImage>();
    fits->frame = stars::Frame{640, 480, std::vector<std::uint16_t>(640 * 480)};
    fits->header["EXPTIME"] = seconds;
    connection.update([&](IndiSnapshot& snapshot) {
      IndiImage& latest = snapshot.images["CCD"];
      latest = IndiImage{latest.sequence + 1, fits, ""};
    });
  }

  long exposuresSent() const { return std::count(wire->sent.begin(), wire->sent.end(), "CCD_EXPOSURE"); }

  ScriptedWire* wire = nullptr;
  IndiConnection connection;
};

TEST(IndiWaits, ASilentServerIsReportedWithinItsTimeLimits) {
  auto connection = std::make_shared<IndiConnection>(
      IndiOptions{}, kShort, [](IndiConnection& owner) { return std::make_unique<ScriptedWire>(owner); });
  IndiCamera camera(connection, std::make_shared<ImageDisplay>());
  const auto start = Clock::now();
  const std::string error = errorOf([&] { camera.setLinkEnabled(true); });
  EXPECT_NE(error.find("reports no camera (devices: none)"), std::string::npos) << error;
  EXPECT_LT(Clock::now() - start, milliseconds(1000));
  EXPECT_FALSE(camera.linkEnabled());
  // The default limits keep start-up against such a server within 5 s.
  const IndiTimeouts defaults;
  EXPECT_LE(defaults.connect + defaults.discover, milliseconds(5000));
}

TEST(IndiWaits, ACameraThatNeverAnswersTimesOutInsteadOfHanging) {
  WireRig rig;
  const auto linked = rig.linkedCamera();
  IndiCamera& camera = *linked;

  camera.setStartX(10);  // the driver never reports the new box
  camera.setNumX(100);
  const std::string boxError = errorOf([&] { camera.expose(0.01f); });
  EXPECT_NE(boxError.find("did not take the readout box"), std::string::npos) << boxError;

  camera.setFullFrame();  // the camera's own box: the exposure starts, its image never comes
  camera.expose(0.01f);
  std::string imageError;
  const auto start = Clock::now();
  while (imageError.empty() && Clock::now() - start < milliseconds(2000)) {
    imageError = errorOf([&] { camera.imageReady(); });
  }
  EXPECT_NE(imageError.find("No image came"), std::string::npos) << imageError;
}

// A loaded driver can answer an exposure after it would have ended, and
// sends its image after its readout report: an exposure left running must
// be ended before the next goes out, or its image passes for the next one's.
TEST(IndiWaits, ANewExposureWaitsUntilTheDriverHasEndedTheEarlierOne) {
  WireRig rig;
  const auto camera = rig.linkedCamera();
  camera->expose(1.0f);  // left running, as after a stop click
  CountingPump pump;
  rig.connection.setEventPump(&pump, [] { return false; });
  long sentBeforeTheEnd = -1;
  pump.onDispatch = [&] {
    if (pump.dispatches == 3) rig.reportExposure(PropertyStatus::busy);  // the late answer
    if (pump.dispatches == 5) {
      sentBeforeTheEnd = rig.exposuresSent();
      rig.reportImage(1.0);
      rig.reportExposure(PropertyStatus::ok);
    }
  };
  camera->expose(0.02f);
  EXPECT_EQ(sentBeforeTheEnd, 1) << "the new exposure went out before the driver ended the earlier one";
  EXPECT_FALSE(camera->imageReady()) << "the earlier exposure's image is not the new one's";
  rig.reportImage(0.02);
  ASSERT_TRUE(camera->imageReady());
  EXPECT_EQ(camera->document()->fitsKey("EXPTIME"), FitsValue(0.02));

  // Once the server has gone and come back, an exposure of the old link is not waited for.
  camera->expose(1.0f);
  rig.connection.update([](IndiSnapshot& snapshot) { snapshot = IndiSnapshot{}; });
  rig.connection.update(reportLinkedCamera);
  camera->setLinkEnabled(true);
  EXPECT_EQ(errorOf([&] { camera->expose(0.02f); }), "");
}

TEST(IndiWaits, WithTheWindowsPumpAWaitDispatchesAndEndsOnAStopOrAClose) {
  const auto never = [](const IndiSnapshot&) { return false; };
  for (const bool close : {false, true}) {
    SCOPED_TRACE(close ? "window closed" : "stop click");
    WireRig rig;
    CountingPump pump;
    bool stopped = false;
    pump.onDispatch = [&] {
      if (pump.dispatches < 3) return;
      if (close) pump.closing = true;
      stopped = !close;
    };
    rig.connection.setEventPump(&pump, [&] { return stopped; });
    const auto start = Clock::now();
    EXPECT_THROW(rig.connection.waitUntil(never, milliseconds(10000)), WaitAbandoned);
    EXPECT_LT(Clock::now() - start, milliseconds(100 + 3 * kQuickPollInterval.count()));
    EXPECT_EQ(pump.dispatches, 3);
  }
  // Unabandoned, it keeps the window alive until its time limit.
  WireRig rig;
  CountingPump pump;
  rig.connection.setEventPump(&pump, [] { return false; });
  EXPECT_FALSE(rig.connection.waitUntil(never, milliseconds(60)));
  EXPECT_GE(pump.dispatches, 3);
  rig.connection.update([](IndiSnapshot& snapshot) { snapshot.devices["A"]; });
  EXPECT_TRUE(rig.connection.waitUntil([](const IndiSnapshot& s) { return s.device("A") != nullptr; },
                                       milliseconds(10000)));
}

}  // namespace
}  // namespace nebulor::camera::indi
