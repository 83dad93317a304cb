#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

#include "camera/indi/IndiDocument.h"

namespace nebulor::camera::indi {
namespace {

struct RecordingViewer : FrameViewer {
  void showFrame(std::shared_ptr<const stars::Frame> frame) override { frames.push_back(std::move(frame)); }
  void showCentroid(const stars::Centroid& star) override { centroids.push_back(star); }
  std::vector<std::shared_ptr<const stars::Frame>> frames;
  std::vector<stars::Centroid> centroids;
};

// A round star image of the given peak on a flat sky, centred at (cx, cy).
std::shared_ptr<const stars::Frame> starFrame(double cx, double cy) {
  auto frame = std::make_shared<stars::Frame>();
  frame->width = 40;
  frame->height = 30;
  for (int y = 0; y < frame->height; ++y) {
    for (int x = 0; x < frame->width; ++x) {
      const double r2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
      frame->pixels.push_back(
          static_cast<std::uint16_t>(std::lround(500 + 20000 * std::exp(-r2 / (2 * 1.5 * 1.5)))));
    }
  }
  return frame;
}

class IndiDocumentTest : public ::testing::Test {
 protected:
  IndiDocumentTest() {
    auto fits = std::make_shared<FitsImage>();
    fits->header = {{"FOCALLEN", 2000.0}, {"OBJECT", std::string("Polaris")}};
    fits_ = fits;
    display_->viewer = &viewer_;
  }
  std::shared_ptr<const FitsImage> fits_;
  std::shared_ptr<ImageDisplay> display_ = std::make_shared<ImageDisplay>();
  RecordingViewer viewer_;
};

TEST_F(IndiDocumentTest, ReadsHeaderValuesFromTheFitsHeader) {
  IndiDocument document(fits_, starFrame(10, 10), display_);
  EXPECT_EQ(document.fitsKey("FOCALLEN"), FitsValue{2000.0});
  EXPECT_EQ(document.fitsKey("OBJECT"), FitsValue{std::string("Polaris")});
  EXPECT_EQ(document.fitsKey("OBJCTALT"), std::nullopt);
}

TEST_F(IndiDocumentTest, MeasuresTheStarNearTheRequestedPointAndShowsIt) {
  const double trueX = 21.3;
  const double trueY = 12.6;
  IndiDocument document(fits_, starFrame(trueX, trueY), display_);
  const stars::Centroid star = document.centroidNear(20, 14, PassBy::value);
  EXPECT_NEAR(star.x, trueX, 0.05);
  EXPECT_NEAR(star.y, trueY, 0.05);
  EXPECT_GE(star.score, stars::kCleanDetection);
  ASSERT_EQ(viewer_.centroids.size(), 1u);
  EXPECT_EQ(viewer_.centroids[0].x, star.x);
}

TEST_F(IndiDocumentTest, ReportsTheImageWindowsClicks) {
  const auto frame = starFrame(10, 10);
  IndiDocument document(fits_, frame, display_);
  EXPECT_EQ(document.clickNew(), 0) << "no image shown yet";
  display_->clicks.frameArrived(frame);
  EXPECT_NE(document.clickNew(), 0);
  display_->clicks.press(ClickPoint{17, 23});
  EXPECT_TRUE(document.mouseDown());
  EXPECT_EQ(document.clickX(), 17);
  EXPECT_EQ(document.clickY(), 23);
  display_->clicks.release();
  EXPECT_FALSE(document.mouseDown());
}

}  // namespace
}  // namespace nebulor::camera::indi
