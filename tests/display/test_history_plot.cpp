#include <gtest/gtest.h>

#include <QImage>

#include "../support/WidgetTestSupport.h"
#include "display/HistoryPlot.h"
#include "display/NightPalette.h"
#include "display/WindowFont.h"

namespace nebulor {
namespace {

const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlack = qRgb(0, 0, 0);

class HistoryPlotTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { test_support::widgetApp(); }

  HistoryPlotTest() {
    plot.setFont(windowFont());
    state.config = defaultConfig();
    state.historyCount = 1;
  }

  const QImage& draw() {
    plot.showModel(buildResultsModel(state, "."));
    return plot.image();
  }

  QRgb background() const { return plot.palette().color(QPalette::Button).rgb(); }

  HistoryPlot plot;
  MonitorState state;
};

TEST_F(HistoryPlotTest, DrawingAreaIsTheSurfaceLessItsBorder) {
  EXPECT_EQ(plot.image().size(), QSize(245, 77));
}

TEST_F(HistoryPlotTest, StartupPlotFrameTicksAndFlatCurve) {
  const QImage& image = draw();
  // The curve covers the bottom line between the axes; the axes stay black.
  for (int x = 23; x <= 222; ++x) EXPECT_EQ(image.pixel(x, 75), kRed) << x;
  for (int y = 5; y <= 75; ++y) {
    EXPECT_EQ(image.pixel(22, y), kBlack) << y;
    EXPECT_EQ(image.pixel(223, y), kBlack) << y;
  }
  // m = 1: long ticks on rows 75 and 5, a short one on row 40.
  struct Tick {
    int row;
    int length;
  };
  for (const Tick tick : {Tick{75, 4}, Tick{40, 2}, Tick{5, 4}}) {
    for (int x = 22 - tick.length; x < 22; ++x) EXPECT_EQ(image.pixel(x, tick.row), kBlack) << tick.row;
    for (int x = 224; x <= 223 + tick.length; ++x) EXPECT_EQ(image.pixel(x, tick.row), kBlack) << tick.row;
    EXPECT_EQ(image.pixel(21 - tick.length, tick.row), background()) << tick.row;
    EXPECT_EQ(image.pixel(224 + tick.length, tick.row), background()) << tick.row;
  }
  // No top line, and nothing between ticks.
  for (int x = 23; x <= 222; ++x) EXPECT_EQ(image.pixel(x, 5), background()) << x;
  EXPECT_EQ(image.pixel(20, 22), background());
  EXPECT_EQ(image.pixel(225, 58), background());
}

TEST_F(HistoryPlotTest, CurvePixelsAtTheirColumnAndRow) {
  // m = 1.5; slot 1 (1.2) and slot 2 (1.0) are the two newest of the ring.
  state.fwhmHistory[1] = 1.2f;
  state.fwhmHistory[2] = 1.0f;
  state.historyCount = 3;
  const QImage& image = draw();
  EXPECT_EQ(image.pixel(222, 28), kRed);  // 1.0 of 1.5: row R(70 - 46.67) + 5
  EXPECT_EQ(image.pixel(221, 19), kRed);  // 1.2 of 1.5: row R(70 - 56) + 5
  EXPECT_NE(image.pixel(222, 29), kRed);
  EXPECT_NE(image.pixel(223, 28), kRed);
  EXPECT_EQ(image.pixel(150, 75), kRed);  // older, empty slots
  EXPECT_NE(image.pixel(150, 74), kRed);
}

TEST_F(HistoryPlotTest, ScaleLabelsAreWritten) {
  const QImage& image = draw();
  const auto inkIn = [&image](QRect area) {
    int dark = 0;  // text may be smoothed: count dark grey as ink too
    for (int y = area.top(); y <= area.bottom(); ++y) {
      for (int x = area.left(); x <= area.right(); ++x) dark += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
    }
    return dark;
  };
  // The digits follow a leading blank, left of the ticks at 18..21.
  EXPECT_GT(inkIn({0, 0, 17, 13}), 0);
  EXPECT_GT(inkIn({0, 65, 17, 12}), 0);
  EXPECT_GT(inkIn({229, 0, 16, 13}), 0);
  EXPECT_GT(inkIn({229, 65, 16, 12}), 0);
  EXPECT_EQ(inkIn({0, 20, 17, 40}), 0);  // nothing between the labels
}

TEST_F(HistoryPlotTest, EachRefreshErasesThePreviousPlot) {
  state.fwhmHistory[1] = 2.4f;
  state.historyCount = 2;
  ASSERT_EQ(draw().pixel(222, 8), kRed);  // 2.4 of m = 2.5: row R(70 - 67.2) + 5
  state.fwhmHistory[1] = 0;
  const QImage& image = draw();
  EXPECT_EQ(image.pixel(222, 8), background());
  EXPECT_EQ(image.pixel(222, 75), kRed);
}

TEST_F(HistoryPlotTest, PaintingCopiesTheKeptImage) {
  state.fwhmHistory[1] = 1.3f;
  state.historyCount = 2;
  const QImage kept = draw();
  // grab() paints the widget afresh, as uncovering the window does.
  const QImage painted = plot.grab().toImage().convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(painted.copy(plot.contentsRect()), kept);
}

TEST_F(HistoryPlotTest, NightViewKeepsEveryLineInPlaceInReds) {
  state.fwhmHistory[1] = 1.2f;
  state.fwhmHistory[2] = 1.0f;
  state.historyCount = 3;
  const QImage day = draw();
  const QRgb dayBackground = background();
  plot.setPalette(nightPalette());  // as the night view gives every window
  plot.setNightView(true);
  const QImage& night = plot.image();
  ASSERT_NE(background(), dayBackground);
  // Lines, ticks and curve lie in columns 18 to 227; the scale labels beside them.
  const int lineColumns[] = {18, 227};
  int labelInk = 0;
  for (int y = 0; y < night.height(); ++y) {
    for (int x = 0; x < night.width(); ++x) {
      const QRgb pixel = night.pixel(x, y);
      EXPECT_EQ(qGreen(pixel) + qBlue(pixel), 0) << x << "," << y;
      if (x >= lineColumns[0] && x <= lineColumns[1]) {
        EXPECT_EQ(pixel != background(), day.pixel(x, y) != dayBackground) << x << "," << y;
      } else {
        labelInk += pixel != background() ? 1 : 0;
      }
    }
  }
  EXPECT_GT(labelInk, 0);
  // The curve stays full red and the brightest line; the axes are dimmer reds.
  EXPECT_EQ(night.pixel(222, 28), kRed);
  EXPECT_EQ(night.pixel(150, 75), kRed);
  EXPECT_LT(qRed(night.pixel(22, 40)), 255);
  EXPECT_GT(qRed(night.pixel(22, 40)), qRed(background()));
  plot.setNightView(false);
  plot.setPalette(QPalette());
  EXPECT_EQ(plot.image(), day);
}

}  // namespace
}  // namespace nebulor
