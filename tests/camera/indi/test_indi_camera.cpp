#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "IndiRig.h"

namespace nebulor::camera::indi {
namespace {

using testing::errorOf;
using testing::eventually;
using testing::frameOf;
using testing::numberOf;
using testing::Rig;
using testing::RigSetup;

class IndiCameraTransport : public ::testing::TestWithParam<bool> {};

TEST_P(IndiCameraTransport, LinksAndDeliversFullFramesAndSubframesOfTheSensor) {
  Rig rig(RigSetup().overTcp(!GetParam()));
  // A sensor unlike the simulator's default, so the sizes must come from the camera.
  for (const char* setting : {"SIM_XRES=800", "SIM_YRES=600", "SIM_XSIZE=6.5", "SIM_YSIZE=7.5"}) {
    rig.server.setProperty(std::string("CCD Simulator.SIMULATOR_SETTINGS.") + setting);
  }
  ASSERT_NO_FATAL_FAILURE(rig.link());
  EXPECT_EQ(rig.camera->cameraXSize(), 800);
  EXPECT_EQ(rig.camera->cameraYSize(), 600);

  rig.camera->setFullFrame();
  ASSERT_NO_FATAL_FAILURE(rig.exposeAndWait(0.01f));
  EXPECT_EQ(frameOf(*rig.camera).width, 800);
  EXPECT_EQ(frameOf(*rig.camera).height, 600);
  const auto document = rig.camera->document();
  EXPECT_DOUBLE_EQ(numberOf(document->fitsKey("XPIXSZ")), 6.5);
  EXPECT_DOUBLE_EQ(numberOf(document->fitsKey("YPIXSZ")), 7.5);

  rig.setBox(100, 50, 120, 90);
  ASSERT_NO_FATAL_FAILURE(rig.exposeAndWait(0.01f));
  EXPECT_EQ(frameOf(*rig.camera).width, 120);
  EXPECT_EQ(frameOf(*rig.camera).height, 90);
  EXPECT_EQ(rig.server.getProperty("CCD Simulator.CCD_FRAME.X"), "100");
  EXPECT_EQ(rig.server.getProperty("CCD Simulator.CCD_FRAME.HEIGHT"), "90");
  EXPECT_NE(document, rig.camera->document()) << "each exposure gives a new document";
}

INSTANTIATE_TEST_SUITE_P(Transports, IndiCameraTransport, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "UnixSocket" : "Tcp"; });

TEST(IndiCamera, HeaderCarriesTheLinkedTelescopesValuesAndLacksOthers) {
  Rig rig;
  rig.server.setProperty("Telescope Simulator.TELESCOPE_INFO.TELESCOPE_FOCAL_LENGTH=1234");
  ASSERT_NO_FATAL_FAILURE(rig.link());
  rig.application->setTelescopeConnected(true);
  ASSERT_TRUE(rig.application->telescopeConnected());
  ASSERT_NO_FATAL_FAILURE(rig.exposeAndWait(0.01f));
  const auto document = rig.camera->document();
  EXPECT_DOUBLE_EQ(numberOf(document->fitsKey("FOCALLEN")), 1234);
  EXPECT_TRUE(document->fitsKey("OBJCTALT").has_value());
  EXPECT_EQ(document->fitsKey("NEBULOR"), std::nullopt);
}

struct RecordingViewer : FrameViewer {
  void showFrame(std::shared_ptr<const stars::Frame> frame) override { frames.push_back(std::move(frame)); }
  void showCentroid(const stars::Centroid&) override {}
  std::vector<std::shared_ptr<const stars::Frame>> frames;
};

TEST(IndiCamera, ShowsEachImageInTheWindowOnlyOnceItHasArrived) {
  Rig rig;
  RecordingViewer viewer;
  rig.backend.setViewer(&viewer);
  ASSERT_NO_FATAL_FAILURE(rig.link());
  EXPECT_FALSE(rig.camera->imageReady());
  EXPECT_NE(errorOf([&] { rig.camera->document(); }), "") << "no document before the first image";
  EXPECT_EQ(rig.backend.clickState().clickNew(), 0);

  rig.setBox(10, 20, 64, 48);
  ASSERT_NO_FATAL_FAILURE(rig.exposeAndWait(0.01f));
  ASSERT_EQ(viewer.frames.size(), 1u);
  EXPECT_EQ(viewer.frames[0].get(), &frameOf(*rig.camera));
  EXPECT_NE(rig.backend.clickState().clickNew(), 0) << "the window takes clicks once it shows an image";
}

}  // namespace
}  // namespace nebulor::camera::indi
