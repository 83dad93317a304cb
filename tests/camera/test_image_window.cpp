// The image window: what it draws of a frame, where clicks land in image
// pixels, and the marks of clicks and measured stars.
#include <gtest/gtest.h>

#include <QTest>

#include "../support/WidgetTestSupport.h"
#include "camera/ImageStretch.h"
#include "camera/ImageWindow.h"

namespace nebulor::camera {
namespace {

// A frame of sky at 100 with a 3x3 star of peak `peak` at (x, y).
std::shared_ptr<stars::Frame> skyWithStar(int width, int height, int x, int y, std::uint16_t peak) {
  auto frame = std::make_shared<stars::Frame>();
  frame->width = width;
  frame->height = height;
  frame->pixels.assign(static_cast<std::size_t>(width) * height, 100);
  // A little texture so the sky has a noise level.
  for (std::size_t i = 0; i < frame->pixels.size(); i += 3) frame->pixels[i] = 104;
  for (int dy = -1; dy <= 1; ++dy) {
    for (int dx = -1; dx <= 1; ++dx) {
      frame->pixels[static_cast<std::size_t>(y + dy) * width + x + dx] = dx == 0 && dy == 0 ? peak : peak / 3;
    }
  }
  return frame;
}

TEST(ImageStretch, SkyNearBlackBrightestStarWhite) {
  const auto frame = skyWithStar(50, 40, 20, 20, 30000);
  const StretchLevels levels = autoStretchLevels(*frame);
  EXPECT_LE(levels.black, 100.0);
  EXPECT_EQ(levels.white, 30000.0);
  const std::vector<std::uint8_t> grey = stretchToGrey(*frame, levels);
  EXPECT_EQ(grey[20 * 50 + 20], 255);
  EXPECT_LT(grey[5 * 50 + 1], 40);                  // sky
  EXPECT_GT(grey[19 * 50 + 19], grey[5 * 50 + 1]);  // the star's wing stands out
}

TEST(ImageStretch, FlatAndEmptyFramesDoNotDivideByZero) {
  const stars::Frame flat{10, 10, std::vector<std::uint16_t>(100, 65535)};
  const std::vector<std::uint8_t> grey = stretchToGrey(flat, autoStretchLevels(flat));
  ASSERT_EQ(grey.size(), 100u);
  const stars::Frame empty;
  EXPECT_TRUE(stretchToGrey(empty, autoStretchLevels(empty)).empty());
  const stars::Frame shortBuffer{10, 10, std::vector<std::uint16_t>(5, 7)};
  EXPECT_EQ(stretchToGrey(shortBuffer, autoStretchLevels(shortBuffer)).size(), 5u);
}

class ImageWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { test_support::widgetApp(); }

  ImageWindowTest() : window(clicks) {
    // A 200 x 100 image in a 400 x 300 window: scale 2, 50 pixels of border
    // above and below.
    window.resize(400, 300);
    const auto frame = skyWithStar(200, 100, 60, 30, 20000);
    clicks.frameArrived(frame);  // what the backend does as it hands the image over
    window.showFrame(frame);
  }

  QImage drawn() { return window.grab().toImage(); }

  ClickState clicks;
  ImageWindow window;
};

TEST_F(ImageWindowTest, ImageFillsTheWindowWithItsAspectKept) {
  EXPECT_EQ(window.windowPosition(0, 0), QPointF(1, 51));  // centre of pixel 0,0
  EXPECT_EQ(window.windowPosition(199, 99), QPointF(399, 249));
  const QImage image = drawn();
  EXPECT_EQ(image.pixelColor(200, 20), QColor(Qt::black));                      // border
  EXPECT_GT(qGray(image.pixel(window.windowPosition(60, 30).toPoint())), 200);  // the star
  EXPECT_LT(qGray(image.pixel(300, 200)), 60);                                  // sky
}

TEST_F(ImageWindowTest, WindowPositionsMapBackToImagePixels) {
  struct Case {
    QPointF at;
    std::optional<ClickPoint> pixel;
  };
  const std::vector<Case> cases{
      {{0.0, 50.0}, ClickPoint{0, 0}}, {{1.9, 51.9}, ClickPoint{0, 0}},
      {{2.0, 52.0}, ClickPoint{1, 1}}, {{399.5, 249.5}, ClickPoint{199, 99}},
      {{200, 49.9}, std::nullopt},     {{200, 250.0}, std::nullopt},
      {{-1, 100}, std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(window.pixelAt(c.at), c.pixel) << c.at.x() << "," << c.at.y();
  }
  for (const ClickPoint p : {ClickPoint{0, 0}, ClickPoint{60, 30}, ClickPoint{199, 99}}) {
    EXPECT_EQ(window.pixelAt(window.windowPosition(p.x, p.y)), p);
  }
}

TEST_F(ImageWindowTest, PressAndReleaseReachTheClickState) {
  const QPoint star = window.windowPosition(60, 30).toPoint();
  QTest::mousePress(&window, Qt::LeftButton, Qt::NoModifier, star);
  EXPECT_TRUE(clicks.mouseDown());
  EXPECT_TRUE(clicks.mouseDown());
  EXPECT_EQ(clicks.clickX(), 60);
  EXPECT_EQ(clicks.clickY(), 30);
  QTest::mouseRelease(&window, Qt::LeftButton, Qt::NoModifier, star);
  EXPECT_FALSE(clicks.mouseDown());
}

TEST_F(ImageWindowTest, PressesOffTheImageOrWithOtherButtonsAreIgnored) {
  QTest::mousePress(&window, Qt::LeftButton, Qt::NoModifier, QPoint(200, 20));
  EXPECT_FALSE(clicks.mouseDown());
  QTest::mouseRelease(&window, Qt::LeftButton, Qt::NoModifier, QPoint(200, 20));
  QTest::mousePress(&window, Qt::RightButton, Qt::NoModifier, QPoint(200, 150));
  EXPECT_FALSE(clicks.mouseDown());
}

// Pixels of a colour in the band across the top, where the prompt and the
// refusal are written.
int bandPixels(const QImage& image, bool (*matches)(QColor)) {
  int count = 0;
  for (int y = 0; y < 45; ++y) {
    for (int x = 0; x < image.width(); ++x) count += matches(image.pixelColor(x, y)) ? 1 : 0;
  }
  return count;
}
bool yellowish(QColor c) { return c.red() > 150 && c.green() > 150 && c.blue() < 100; }
bool reddish(QColor c) { return c.red() > 150 && c.green() < 120 && c.blue() < 120; }

TEST_F(ImageWindowTest, PromptsTheStepAndShowsARefusedClick) {
  EXPECT_EQ(bandPixels(drawn(), yellowish), 0) << "no prompt before the selection asks";
  clicks.clickNew();  // the selection waits for the first star image
  EXPECT_GT(bandPixels(drawn(), yellowish), 0);
  EXPECT_EQ(bandPixels(drawn(), reddish), 0);

  const QPoint emptySky = window.windowPosition(150, 80).toPoint();
  QTest::mouseClick(&window, Qt::LeftButton, Qt::NoModifier, emptySky);
  EXPECT_FALSE(clicks.mouseDown()) << "the selection never sees it";
  const QImage image = drawn();
  EXPECT_GT(bandPixels(image, reddish), 0) << "the reason is written";
  EXPECT_TRUE(reddish(image.pixelColor(emptySky + QPoint(4, 4)))) << "the click is marked as refused";

  QTest::mouseClick(&window, Qt::LeftButton, Qt::NoModifier, window.windowPosition(60, 30).toPoint());
  EXPECT_TRUE(clicks.mouseDown());
  EXPECT_EQ(clicks.prompt(), "Click the second star image");
  const QImage taken = drawn();
  EXPECT_EQ(bandPixels(taken, reddish), 0) << "a taken click clears the refusal";
  EXPECT_FALSE(reddish(taken.pixelColor(emptySky + QPoint(4, 4)))) << "and its cross";
}

TEST_F(ImageWindowTest, MarksClicksAndStarsUntilTheNextImage) {
  const QPointF clickAt = window.windowPosition(150, 80);
  clicks.scriptClicks({{150, 80}});
  clicks.clickNew();
  EXPECT_FALSE(clicks.mouseDown());
  EXPECT_TRUE(clicks.mouseDown());
  stars::Centroid good{100.0, 20.0, 50.0, stars::StarStatus::found};
  stars::Centroid faint{30.0, 70.0, 3.0, stars::StarStatus::faint};
  window.showCentroid(good);
  window.showCentroid(faint);

  QImage image = drawn();
  // Cross arm a few pixels right of the click; circle edge 11 pixels right of each star.
  const QColor cross = image.pixelColor((clickAt + QPointF(4, 0)).toPoint());
  EXPECT_GT(cross.red(), 150);
  EXPECT_GT(cross.green(), 150);
  EXPECT_LT(cross.blue(), 100);
  const QColor goodRing = image.pixelColor((window.windowPosition(100, 20) + QPointF(11, 0)).toPoint());
  EXPECT_GT(goodRing.green(), 100);
  EXPECT_LT(goodRing.red(), 100);
  const QColor faintRing = image.pixelColor((window.windowPosition(30, 70) + QPointF(11, 0)).toPoint());
  EXPECT_GT(faintRing.red(), 100);
  EXPECT_LT(faintRing.green(), 100);

  window.showFrame(skyWithStar(200, 100, 60, 30, 20000));
  image = drawn();
  EXPECT_LT(qGray(image.pixel((clickAt + QPointF(4, 0)).toPoint())), 60);
  EXPECT_LT(qGray(image.pixel((window.windowPosition(100, 20) + QPointF(11, 0)).toPoint())), 60);
}

TEST_F(ImageWindowTest, NightViewShowsImageAndMarksInRedAlone) {
  const QImage day = drawn();
  window.setNightView(true);
  QImage night = drawn();
  for (int y = 0; y < night.height(); ++y) {
    for (int x = 0; x < night.width(); ++x) {
      // Each grey level of the day becomes the same level of red.
      ASSERT_EQ(night.pixelColor(x, y), QColor(day.pixelColor(x, y).red(), 0, 0)) << x << "," << y;
    }
  }

  clicks.scriptClicks({{150, 80}});
  clicks.clickNew();
  clicks.mouseDown();
  clicks.mouseDown();
  const stars::Centroid good{100.0, 20.0, 50.0, stars::StarStatus::found};
  const stars::Centroid faint{30.0, 70.0, 3.0, stars::StarStatus::faint};
  window.showCentroid(good);
  window.showCentroid(faint);
  night = drawn();
  for (int y = 0; y < night.height(); ++y) {
    for (int x = 0; x < night.width(); ++x) {
      const QColor lit = night.pixelColor(x, y);
      ASSERT_EQ(lit.green() + lit.blue(), 0) << x << "," << y;
    }
  }
  const auto ringRed = [&night, this](const stars::Centroid& star) {
    return night.pixelColor((window.windowPosition(star.x, star.y) + QPointF(11, 0)).toPoint()).red();
  };
  EXPECT_GT(ringRed(good), ringRed(faint));
  EXPECT_GT(ringRed(faint),
            qRed(day.pixel((window.windowPosition(faint.x, faint.y) + QPointF(11, 0)).toPoint())));

  window.setNightView(false);
  EXPECT_EQ(drawn().pixelColor(window.windowPosition(60, 30).toPoint()),
            day.pixelColor(window.windowPosition(60, 30).toPoint()));
}

}  // namespace
}  // namespace nebulor::camera
