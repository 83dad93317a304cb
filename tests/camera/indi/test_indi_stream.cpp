// Debian's CCD simulator streaming a 300 x 200 region through the backend.
// It streams only its own drawing (no stars: directory mode does not reach
// the stream), so frames are checked for count, size, timing and the dark
// sky's level; a star through the stream's gamma is test_stream_frames'.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <string>
#include <vector>

#include "IndiRig.h"
#include "camera/indi/StreamDecoder.h"

namespace nebulor::camera::indi {
namespace {

using testing::errorOf;
using testing::eventually;
using testing::frameOf;
using testing::Rig;

std::vector<StreamFrame> takeFrames(FrameStream& stream, std::size_t count) {
  std::vector<StreamFrame> frames;
  eventually([&] {
    if (auto frame = stream.nextFrame()) frames.push_back(std::move(*frame));
    return frames.size() >= count;
  });
  return frames;
}

TEST(IndiStream, DeliversTheRegionsFramesInLinearCountsThenGivesWayToExposures) {
  Rig rig;
  rig.server.setProperty("Telescope Simulator.TELESCOPE_INFO.TELESCOPE_FOCAL_LENGTH=1234");
  ASSERT_NO_FATAL_FAILURE(rig.link());
  rig.application->setTelescopeConnected(true);
  rig.setBox(490, 412, 300, 200);
  FrameStream* stream = rig.camera->frameStream();
  ASSERT_NE(stream, nullptr) << "the simulator offers CCD_VIDEO_STREAM";
  stream->startFrames(0.01f);
  EXPECT_EQ(rig.server.getProperty("CCD Simulator.CCD_STREAM_FRAME.X"), "490");
  EXPECT_EQ(rig.server.getProperty("CCD Simulator.LIMITS.LIMITS_PREVIEW_FPS"), "120");

  const std::vector<StreamFrame> frames = takeFrames(*stream, 10);
  ASSERT_EQ(frames.size(), 10u);
  const auto& linear = linearCountsOfStreamBytes();
  for (std::size_t i = 0; i < frames.size(); ++i) {
    const StreamFrame& frame = frames[i];
    ASSERT_EQ(frame.pixels->width, 300);
    ASSERT_EQ(frame.pixels->height, 200);
    EXPECT_EQ(frame.sequence, i + 1) << "none lost at this rate";
    if (i > 0) {
      EXPECT_GT(frame.arrival, frames[i - 1].arrival);
    }
    EXPECT_FLOAT_EQ(frame.exposure, 0.01f);
    EXPECT_NEAR(frame.pixelWidth.value_or(0), 5.2, 1e-6);
    EXPECT_EQ(frame.focalLength, 1234.0);
    EXPECT_TRUE(frame.altitude.has_value());
    // The simulator's dark sky of some ten counts, through the gamma table and back.
    const auto& pixels = frame.pixels->pixels;
    EXPECT_TRUE(std::all_of(pixels.begin(), pixels.end(), [&](std::uint16_t value) {
      return std::binary_search(linear.begin(), linear.end(), value);
    }));
    EXPECT_LT(std::accumulate(pixels.begin(), pixels.end(), 0.0) / static_cast<double>(pixels.size()), 100);
  }

  ASSERT_NO_FATAL_FAILURE(rig.exposeAndWait(0.01f));
  EXPECT_EQ(rig.server.getProperty("CCD Simulator.CCD_VIDEO_STREAM.STREAM_ON"), "Off");
  EXPECT_EQ(frameOf(*rig.camera).width, 300);
  EXPECT_EQ(rig.server.getProperty("CCD Simulator.CCD_FRAME.X"), "490");
}

TEST(IndiStream, AKilledServerEndsTheStreamWithAReadableError) {
  Rig rig;
  ASSERT_NO_FATAL_FAILURE(rig.link());
  rig.setBox(0, 0, 300, 200);
  FrameStream* stream = rig.camera->frameStream();
  ASSERT_NE(stream, nullptr);
  stream->startFrames(0.01f);
  ASSERT_EQ(takeFrames(*stream, 1).size(), 1u);
  rig.server.killServer();
  std::string error;
  eventually([&] {
    error = errorOf([&] {
      while (stream->nextFrame()) {
      }
    });
    return !error.empty();
  });
  EXPECT_NE(error.find("Lost the connection to the INDI server"), std::string::npos) << error;
  stream->stopFrames();
}

}  // namespace
}  // namespace nebulor::camera::indi
