#include <gtest/gtest.h>

#include "camera/Automation.h"
#include "camera/indi/FitToBox.h"

namespace nebulor::camera::indi {
namespace {

// Each pixel holds its own sensor position, so a cut shows where it came from.
stars::Frame sensorImage(int width, int height) {
  stars::Frame frame;
  frame.width = width;
  frame.height = height;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) frame.pixels.push_back(static_cast<std::uint16_t>(y * 200 + x));
  }
  return frame;
}

TEST(FitToBox, PassesAnImageOfTheBoxSizeUnchanged) {
  const stars::Frame image = sensorImage(100, 80);
  const stars::Frame fitted = fitToBox(image, SensorBox{300, 200, 100, 80}, 1280, 1024);
  EXPECT_EQ(fitted.pixels, image.pixels);
}

TEST(FitToBox, CutsAFullSensorImageToTheBox) {
  const SensorBox box{37, 21, 12, 9};
  const stars::Frame fitted = fitToBox(sensorImage(200, 150), box, 200, 150);
  ASSERT_EQ(fitted.width, box.width);
  ASSERT_EQ(fitted.height, box.height);
  for (int y = 0; y < box.height; ++y) {
    for (int x = 0; x < box.width; ++x) EXPECT_EQ(fitted.at(x, y), (box.y + y) * 200 + box.x + x);
  }
  const stars::Frame corner = fitToBox(sensorImage(200, 150), SensorBox{190, 140, 10, 10}, 200, 150);
  EXPECT_EQ(corner.at(9, 9), 149 * 200 + 199) << "a box reaching the sensor's far corner";
}

TEST(FitToBox, RefusesImagesThatDoNotMatchTheRequest) {
  struct Case {
    const char* what;
    stars::Frame image;
    SensorBox box;
  };
  const Case cases[] = {
      {"another subframe", sensorImage(50, 50), SensorBox{0, 0, 40, 40}},
      {"a binned full frame", sensorImage(100, 75), SensorBox{10, 10, 40, 40}},
      {"a box off the sensor", sensorImage(200, 150), SensorBox{180, 10, 40, 40}},
      {"a negative origin", sensorImage(200, 150), SensorBox{-5, 10, 40, 40}},
  };
  for (const Case& c : cases) EXPECT_THROW(fitToBox(c.image, c.box, 200, 150), AutomationError) << c.what;
}

}  // namespace
}  // namespace nebulor::camera::indi
