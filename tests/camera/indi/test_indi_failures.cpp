#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "IndiRig.h"

// Every way the server, a device or an image can fail ends as the backend's
// error with a readable text, or as a link that reads false: never a hang.
namespace nebulor::camera::indi {
namespace {

using testing::errorOf;
using testing::eventually;
using testing::frameOf;
using testing::numberOf;
using testing::Rig;
using testing::RigSetup;

// Short limits for the failures. The simulator's exposures end on a timer
// of up to a second, so images get ample time.
constexpr IndiTimeouts kQuickReplies{.connect = std::chrono::milliseconds(2000),
                                     .reply = std::chrono::milliseconds(2000),
                                     .imageMargin = std::chrono::milliseconds(10000)};

bool mentions(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Polls imageReady() until it throws, and returns the text (empty if it never does).
std::string imageWaitError(Camera& camera) {
  std::string error;
  eventually([&] {
    error = errorOf([&] { camera.imageReady(); });
    return !error.empty();
  });
  return error;
}

TEST(IndiServerLoss, AKilledServerEndsTheImageWaitAndTheLink) {
  Rig rig;
  ASSERT_NO_FATAL_FAILURE(rig.link());
  rig.camera->expose(5.0f);
  rig.server.killServer();
  EXPECT_TRUE(mentions(imageWaitError(*rig.camera), "Lost the connection to the INDI server"));
  EXPECT_FALSE(rig.camera->linkEnabled());
  EXPECT_FALSE(rig.application->telescopeConnected());
  EXPECT_TRUE(mentions(errorOf([&] { rig.camera->expose(0.01f); }), "Lost the connection"));
}

TEST(IndiServerLoss, AServerKilledBetweenExposuresShowsAsALostLink) {
  Rig rig;
  ASSERT_NO_FATAL_FAILURE(rig.link());
  ASSERT_NO_FATAL_FAILURE(rig.exposeAndWait(0.01f));
  rig.server.killServer();
  EXPECT_TRUE(eventually([&] { return !rig.camera->linkEnabled(); }));
}

// A loopback port held bound but not listening: connections to it are
// refused, and no other program can start a server on it meanwhile.
class RefusingPort {
 public:
  RefusingPort() : socket_(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &length);
    port_ = ntohs(address.sin_port);
  }
  ~RefusingPort() { ::close(socket_); }
  int port() const { return port_; }

 private:
  int socket_;
  int port_ = 0;
};

TEST(IndiServerLoss, AServerThatIsNotRunningCannotBeReached) {
  const RefusingPort refusing;
  for (const std::string& option :
       {"localhost:" + std::to_string(refusing.port()), std::string("/nebulor-no-server-here")}) {
    IndiAutomationServer backend(parseIndiOptions(option), kQuickReplies);
    const std::string error = errorOf([&] { backend.createApplication(); });
    EXPECT_TRUE(mentions(error, "Cannot reach the INDI server")) << option << ": " << error;
    EXPECT_NE(errorOf([&] { backend.createCamera(); }), "") << option;
  }
}

TEST(IndiDeviceChoice, ACameraNameTheServerLacksGivesAClearMessage) {
  Rig rig(RigSetup().naming("No Such CCD").waiting(kQuickReplies));
  auto camera = rig.backend.createCamera();
  const std::string error = errorOf([&] { camera->setLinkEnabled(true); });
  EXPECT_TRUE(mentions(error, "no device \"No Such CCD\"")) << error;
  EXPECT_TRUE(mentions(error, "CCD Simulator")) << "the message lists what the server has: " << error;
  EXPECT_FALSE(camera->linkEnabled());
}

TEST(IndiDeviceChoice, DevicesOfTheWrongKindOrNoneAtAllAreRefused) {
  {
    Rig rig(RigSetup().naming("Telescope Simulator").waiting(kQuickReplies));
    auto camera = rig.backend.createCamera();
    const std::string e = errorOf([&] { camera->setLinkEnabled(true); });
    EXPECT_TRUE(mentions(e, "is not a camera")) << e;
  }
  {
    Rig rig(RigSetup().waiting(kQuickReplies).running({"indi_simulator_telescope"}));
    auto camera = rig.backend.createCamera();
    EXPECT_TRUE(mentions(errorOf([&] { camera->setLinkEnabled(true); }), "reports no camera"));
  }
}

TEST(IndiDeviceChoice, ACameraThatRefusesToConnectReadsBackUnlinked) {
  // Debian's webcam driver finds no video device here and refuses.
  Rig rig(RigSetup().naming("V4L2 CCD").waiting(kQuickReplies).running({"indi_v4l2_ccd"}));
  auto camera = rig.backend.createCamera();
  EXPECT_EQ(errorOf([&] { camera->setLinkEnabled(true); }), "");
  EXPECT_FALSE(camera->linkEnabled());
}

TEST(IndiTelescope, MissingOrRefusingMountsAreTheTelescopeFailures) {
  {
    Rig rig(RigSetup().waiting(kQuickReplies).running({"indi_simulator_ccd"}));
    auto application = rig.backend.createApplication();
    EXPECT_TRUE(mentions(errorOf([&] { application->setTelescopeConnected(true); }), "reports no telescope"));
  }
  {
    Rig rig(RigSetup().naming(":Mount Nowhere").waiting(kQuickReplies));
    auto application = rig.backend.createApplication();
    EXPECT_TRUE(mentions(errorOf([&] { application->setTelescopeConnected(true); }), "\"Mount Nowhere\""));
  }
  {
    // A serial mount with nothing on its port refuses: no error, the link reads false.
    Rig rig(RigSetup().waiting(kQuickReplies).running({"indi_simulator_ccd", "indi_lx200basic"}));
    auto application = rig.backend.createApplication();
    EXPECT_EQ(errorOf([&] { application->setTelescopeConnected(true); }), "");
    EXPECT_FALSE(application->telescopeConnected());
  }
}

TEST(IndiTelescope, TheCameraIsPointedAtTheLinkedMount) {
  Rig rig;
  ASSERT_NO_FATAL_FAILURE(rig.link());
  rig.server.setProperty("CCD Simulator.ACTIVE_DEVICES.ACTIVE_TELESCOPE=Elsewhere");
  // The driver takes the new value in its own time: a busy machine reads the old one at first.
  ASSERT_TRUE(eventually([&] {
    return rig.server.getProperty("CCD Simulator.ACTIVE_DEVICES.ACTIVE_TELESCOPE") == "Elsewhere";
  }));
  rig.application->setTelescopeConnected(true);
  EXPECT_TRUE(rig.application->telescopeConnected());
  EXPECT_TRUE(eventually([&] {
    return rig.server.getProperty("CCD Simulator.ACTIVE_DEVICES.ACTIVE_TELESCOPE") == "Telescope Simulator";
  }));
}

TEST(IndiExposureFailures, ADeviceDisconnectingDuringAnExposureEndsTheWait) {
  Rig rig;
  ASSERT_NO_FATAL_FAILURE(rig.link());
  rig.camera->expose(5.0f);
  rig.server.setProperty("CCD Simulator.CONNECTION.DISCONNECT=On");
  EXPECT_TRUE(mentions(imageWaitError(*rig.camera), "disconnected")) << "the wait ends with the reason";
  EXPECT_FALSE(rig.camera->linkEnabled());
}

TEST(IndiExposureFailures, AnImageThatNeverComesEndsTheWaitAfterItsTimeLimit) {
  Rig rig(RigSetup().waiting(IndiTimeouts{.connect = std::chrono::milliseconds(2000),
                                          .reply = std::chrono::milliseconds(2000),
                                          .imageMargin = std::chrono::milliseconds(1000)}));
  ASSERT_NO_FATAL_FAILURE(rig.link());
  rig.server.setProperty("CCD Simulator.UPLOAD_MODE.UPLOAD_LOCAL=On");  // images stay on the server
  rig.camera->expose(0.01f);
  EXPECT_TRUE(mentions(imageWaitError(*rig.camera), "No image came"));
  EXPECT_TRUE(rig.camera->linkEnabled()) << "the camera itself is still there";
}

TEST(IndiExposureFailures, TheCamerasOwnRefusalsArePassedOn) {
  Rig rig(RigSetup().waiting(kQuickReplies));
  ASSERT_NO_FATAL_FAILURE(rig.link());
  rig.camera->expose(0.0001f);  // below the simulator's shortest exposure
  EXPECT_TRUE(mentions(imageWaitError(*rig.camera), "failed exposure"));
}

TEST(IndiExposureFailures, AReadoutBoxBeyondTheSensorIsRefusedBeforeAnyExposure) {
  Rig rig(RigSetup().waiting(kQuickReplies));
  ASSERT_NO_FATAL_FAILURE(rig.link());
  rig.camera->setStartX(static_cast<std::int16_t>(rig.camera->cameraXSize() - 50));
  rig.camera->setNumX(100);
  EXPECT_TRUE(mentions(errorOf([&] { rig.camera->expose(0.01f); }), "does not lie on the"));
  EXPECT_EQ(rig.server.getProperty("CCD Simulator.CCD_EXPOSURE._STATE"), "Idle") << "no exposure was started";
}

TEST(IndiExposureFailures, AnImageThatIsNotFitsIsRefused) {
  Rig rig(RigSetup().waiting(kQuickReplies));
  ASSERT_NO_FATAL_FAILURE(rig.link());
  rig.server.setProperty("CCD Simulator.CCD_TRANSFER_FORMAT.FORMAT_NATIVE=On");
  rig.camera->expose(0.01f);
  const std::string e = imageWaitError(*rig.camera);
  EXPECT_TRUE(mentions(e, "FITS images only")) << e;
}

TEST(IndiExposureOrder, ANewExposureWaitsForTheBusyOneAndGetsItsOwnImage) {
  Rig rig;
  ASSERT_NO_FATAL_FAILURE(rig.link());
  rig.camera->expose(1.0f);  // abandoned, as after a stop click during the image wait
  rig.setBox(30, 40, 70, 50);
  ASSERT_NO_FATAL_FAILURE(rig.exposeAndWait(0.02f));
  EXPECT_EQ(frameOf(*rig.camera).width, 70);
  EXPECT_EQ(frameOf(*rig.camera).height, 50);
  EXPECT_DOUBLE_EQ(numberOf(rig.camera->document()->fitsKey("EXPTIME")), 0.02);
}

}  // namespace
}  // namespace nebulor::camera::indi
