// Stream frames from libindi's video stream: the gamma table against
// libindi's own, decoding by size and camera depth, a star kept through the
// 8-bit table, the queue's losses, and the header values from properties.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

#include "camera/Automation.h"
#include "camera/indi/IndiFrameQueue.h"
#include "camera/indi/IndiHeaderValues.h"
#include "camera/indi/StreamDecoder.h"
#include "support/SyntheticStars.h"

namespace nebulor::camera::indi {
namespace {

// libindi's own table, from its driver library: loaded, not linked, since
// the library brings a driver's main(). GammaLut16 holds one vector.
struct GammaLut16Layout {
  std::vector<std::uint16_t> table;
};

std::vector<std::uint8_t> libindiGammaTable() {
  void* library = dlopen("libindidriver.so.1", RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) return {};
  using Construct = void (*)(GammaLut16Layout*, double, double, double, double);
  using Apply = void (*)(const GammaLut16Layout*, const std::uint16_t*, std::size_t, std::uint8_t*);
  const auto construct = reinterpret_cast<Construct>(dlsym(library, "_ZN10GammaLut16C1Edddd"));
  const auto apply = reinterpret_cast<Apply>(dlsym(library, "_ZNK10GammaLut165applyEPKtmPh"));
  std::vector<std::uint8_t> table;
  if (construct != nullptr && apply != nullptr) {
    GammaLut16Layout lut;
    construct(&lut, 2.4, 12.92, 0.055, 0.00304);  // the stream manager's defaults
    std::vector<std::uint16_t> counts(65536);
    std::iota(counts.begin(), counts.end(), 0);
    table.resize(counts.size());
    apply(&lut, counts.data(), counts.size(), table.data());
  }
  dlclose(library);
  return table;
}

TEST(StreamGamma, IsLibindisTableAndTheInverseGivesEachByteBack) {
  const std::vector<std::uint8_t> libindi = libindiGammaTable();
  ASSERT_EQ(libindi.size(), 65536u) << "libindi's driver library has no GammaLut16";
  for (std::uint32_t counts = 0; counts < 65536; ++counts) {
    ASSERT_EQ(streamByteOf(static_cast<std::uint16_t>(counts)), libindi[counts]) << counts;
  }
  const auto& linear = linearCountsOfStreamBytes();
  for (int byte = 0; byte < 256; ++byte) {
    EXPECT_EQ(streamByteOf(linear[byte]), byte);
    if (byte > 0) {
      EXPECT_GT(linear[byte], linear[byte - 1]);
    }
  }
}

TEST(StreamFrames, AreDecodedByTheirSizeAndTheCamerasDepth) {
  const auto& linear = linearCountsOfStreamBytes();
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    int cameraBits;
    std::vector<std::uint16_t> pixels;  // empty: refused
  };
  const std::vector<Case> cases{
      {"a 16-bit camera's gamma bytes",
       {0, 1, 128, 255},
       16,
       {linear[0], linear[1], linear[128], linear[255]}},
      {"an 8-bit camera's counts", {0, 1, 128, 255}, 8, {0, 1, 128, 255}},
      {"two bytes a pixel, little-endian", {1, 0, 0, 1, 255, 255, 0x34, 0x12}, 16, {1, 256, 65535, 0x1234}},
      {"a frame of another region", {1, 2, 3}, 16, {}},
      {"an empty frame", {}, 16, {}},
  };
  for (const Case& c : cases) {
    if (c.pixels.empty()) {
      EXPECT_THROW(decodeStreamFrame(c.bytes.data(), c.bytes.size(), 2, 2, c.cameraBits), AutomationError)
          << c.what;
      continue;
    }
    const stars::Frame frame = decodeStreamFrame(c.bytes.data(), c.bytes.size(), 2, 2, c.cameraBits);
    EXPECT_EQ(frame.width, 2) << c.what;
    EXPECT_EQ(frame.pixels, c.pixels) << c.what;
  }
}

TEST(StreamFrames, KeepAStarWhereTheFinderFindsIt) {
  test::StarScene scene;
  scene.stars = {{31.3, 28.6, test::fluxForPeakSnr(scene, 100)}};
  std::mt19937_64 random(5);
  const stars::Frame wide = test::renderFrame(scene, random);
  std::vector<std::uint8_t> bytes;
  for (const std::uint16_t counts : wide.pixels) bytes.push_back(streamByteOf(counts));
  const stars::Frame frame = decodeStreamFrame(bytes.data(), bytes.size(), wide.width, wide.height, 16);
  const stars::Centroid star = stars::findStarNear(frame, 33, 27, scene.noiseModel());
  EXPECT_TRUE(star.clean());
  EXPECT_NEAR(star.x, 31.3, 0.05);
  EXPECT_NEAR(star.y, 28.6, 0.05);
}

TEST(IndiFrameQueue, DropsTheOldestBeyondItsBoundAndTheSequenceShowsIt) {
  IndiFrameQueue queue;
  const std::size_t pushed = IndiFrameQueue::kMostFrames + 5;
  for (std::size_t i = 0; i < pushed; ++i) queue.push(ReceivedFrame{nullptr, "", static_cast<double>(i), 0});
  const auto first = queue.pop();
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->sequence, 6u) << "frames 1 to 5 were dropped";
  EXPECT_EQ(first->arrival, 5.0);
  std::size_t left = 1;
  while (queue.pop()) ++left;
  EXPECT_EQ(left, IndiFrameQueue::kMostFrames);
}

constexpr double kNone = std::numeric_limits<double>::quiet_NaN();

TEST(IndiHeaderValues, ComeFromTheCameraAndTheMountItFollows) {
  // 2026-03-20 00:00 UT; Greenwich mean sidereal time then is 11.8361 h (IAU 1982 formula).
  const auto when = std::chrono::system_clock::time_point(std::chrono::seconds(1773964800));
  struct Case {
    const char* what;
    double ra, dec, latitude, longitude, mountAltitude, focalLength;  // kNone: not reported
    std::optional<double> altitude;
  };
  const Case cases[] = {
      {"on the meridian 30 degrees from the zenith", 12.8361, 20, 50, 15, kNone, 900, 60.0},
      {"the mount's own altitude first", 3, 90, 90, 0, 42, 0, 42.0},
      {"no site, no altitude", 3, 20, kNone, kNone, kNone, kNone, std::nullopt},
  };
  for (const Case& c : cases) {
    IndiSnapshot snapshot;
    IndiDevice& camera = snapshot.devices["CCD"];
    camera.properties["CCD_INFO"].numbers = {{"CCD_PIXEL_SIZE_X", 5.2}, {"CCD_PIXEL_SIZE_Y", 6.4}};
    camera.properties["ACTIVE_DEVICES"].texts = {{"ACTIVE_TELESCOPE", "Mount"}};
    const std::pair<const char*, double> mount[] = {
        {"EQUATORIAL_EOD_COORD.RA", c.ra},         {"EQUATORIAL_EOD_COORD.DEC", c.dec},
        {"GEOGRAPHIC_COORD.LAT", c.latitude},      {"GEOGRAPHIC_COORD.LONG", c.longitude},
        {"HORIZONTAL_COORD.ALT", c.mountAltitude}, {"TELESCOPE_INFO.TELESCOPE_FOCAL_LENGTH", c.focalLength}};
    for (const auto& [name, value] : mount) {
      const std::string element = name;
      const auto dot = element.find('.');
      if (!std::isnan(value))
        snapshot.devices["Mount"].properties[element.substr(0, dot)].numbers[element.substr(dot + 1)] = value;
    }
    const HeaderValues values = headerValues(snapshot, "CCD", when);
    EXPECT_EQ(values.pixelWidth, 5.2) << c.what;
    EXPECT_EQ(values.pixelHeight, 6.4) << c.what;
    EXPECT_EQ(values.focalLength, c.focalLength > 0 ? std::optional(c.focalLength) : std::nullopt) << c.what;
    ASSERT_EQ(values.altitude.has_value(), c.altitude.has_value()) << c.what;
    EXPECT_NEAR(values.altitude.value_or(0), c.altitude.value_or(0), 0.02) << c.what;
  }
}

}  // namespace
}  // namespace nebulor::camera::indi
