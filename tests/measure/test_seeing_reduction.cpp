#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <vector>

#include "measure/SeeingReduction.h"

namespace nebulor {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// ---- numeric helpers -------------------------------------------------------

TEST(NumericHelpers, CalcAirmassGivesThePublishedValues) {
  const struct {
    double altitude;
    double airmass;
  } cases[] = {{90, 1}, {60, 1.1547005380}, {30, 1.9999999959}, {20, 2.9238043889}};
  for (const auto& c : cases) EXPECT_NEAR(CalcAirmass(c.altitude), c.airmass, 5e-11) << c.altitude;
}

TEST(NumericHelpers, SecIsTheReciprocalOfTheCosine) {
  EXPECT_DOUBLE_EQ(Sec(0), 1);
  EXPECT_NEAR(Sec(std::acos(0.5)), 2, 1e-12);
  EXPECT_NEAR(Sec(-std::acos(0.25)), 4, 1e-12);
}

TEST(NumericHelpers, ArrayRmsUsesElementsOneToNWithoutRemovingTheMean) {
  const struct {
    std::vector<float> values;
    std::int16_t n;
    float rms;
  } cases[] = {
      {{99, 3, 4}, 2, 3.5355339f},       // element 0 ignored
      {{99, 3, 4}, 1, 3},                //
      {{0, 3, 4, 1000}, 2, 3.5355339f},  // elements beyond n ignored
      {{0, -3, 4}, 2, 3.5355339f},       // signs do not matter
      {{0, 5, 5, 5}, 3, 5},              // no mean subtracted
      {{7, 1}, 0, 0},                    // nothing to average
  };
  for (const auto& c : cases) EXPECT_FLOAT_EQ(ArrayRms(c.values.data(), c.n), c.rms) << c.n;
}

TEST(NumericHelpers, TruncateDecimalsRoundsTowardsMinusInfinity) {
  const struct {
    double x;
    std::int16_t n;
    double truncated;
  } cases[] = {
      {3.46, 1, 3.4}, {-1.25, 1, -1.3}, {0.29, 2, 0.28},  // 0.29 * 100 is just below 29
      {2.0, 0, 2.0},  {-0.5, 0, -1.0},  {1234.5, -2, 1200},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(TruncateDecimals(c.x, c.n), c.truncated) << c.x << " " << c.n;
}

// ---- the reduction -----------------------------------------------------------

const ExposureGeometry kGeometry{1.0, 1000, 9};  // airmass 1, 1000 mm, 9 um pixels

MonitorState stateAfterStartup(std::int16_t samplesPerReading) {
  MonitorState state;
  state.config = defaultConfig();
  state.config.samplesPerReading = samplesPerReading;
  state.historyCount = 1;
  return state;
}

void setSample(MonitorState& state, int i, float x1, float y1, float x2, float y2) {
  state.sampleX[1][i] = x1;
  state.sampleY[1][i] = y1;
  state.sampleX[2][i] = x2;
  state.sampleY[2][i] = y2;
}

void setMeans(MonitorState& state, float x1, float y1, float x2, float y2) {
  state.starX = {0, x1, x2};
  state.starY = {0, y1, y2};
}

// Deviations from first principles: the exposure's separation projected on
// the unit vector of the mean separation, and its signed component across it.
struct Deviation {
  double longitudinal;
  double transverse;
};
Deviation projected(double refDX, double refDY, double dx, double dy) {
  const double length = std::hypot(refDX, refDY);
  return {length - (dx * refDX + dy * refDY) / length, (refDX * dy - refDY * dx) / length};
}

TEST(MeanPositions, AreDoublePrecisionMeansOfTheReadingsSamples) {
  MonitorState state = stateAfterStartup(4);
  // A float sum would lose the 1s against 1e8; the mean of these is 0.5.
  const float x1[] = {1e8f, 1, -1e8f, 1};
  for (int i = 1; i <= 4; ++i) setSample(state, i, x1[i - 1], float(i), 10.0f * i, 0.5f);
  state.sampleX[1][5] = 1e9f;  // beyond the reading: ignored
  ASSERT_TRUE(StoreMeanPositions(state));
  EXPECT_FLOAT_EQ(state.starX[1], 0.5f);
  EXPECT_FLOAT_EQ(state.starY[1], 2.5f);
  EXPECT_FLOAT_EQ(state.starX[2], 25.0f);
  EXPECT_FLOAT_EQ(state.starY[2], 0.5f);
  EXPECT_EQ(state.starX[0], 0);
}

TEST(MeanPositions, ARefusedReadingChangesNothing) {
  for (const std::int16_t n : {0, -3, 201, 32767}) {
    MonitorState state = stateAfterStartup(n);
    setMeans(state, 1, 2, 3, 4);
    EXPECT_FALSE(StoreMeanPositions(state)) << n;
    EXPECT_EQ(state.starX[1], 1);
    EXPECT_EQ(state.starY[2], 4);
    EXPECT_TRUE(ReduceReading(state, kGeometry).has_value()) << "the reason is available for " << n;
  }
  MonitorState state = stateAfterStartup(2);
  setMeans(state, 1, 2, 3, 4);
  setSample(state, 1, 10, 10, 20, 20);
  setSample(state, 2, 10, std::numeric_limits<float>::quiet_NaN(), 20, 20);
  EXPECT_FALSE(StoreMeanPositions(state));
  EXPECT_EQ(state.starY[1], 2);
}

TEST(Deviations, AlongAHorizontalPairMatchThePublishedExample) {
  MonitorState state = stateAfterStartup(2);
  setMeans(state, 10, 20, 70, 20);      // refDX = 60, refDY = 0
  setSample(state, 1, 10, 20, 69, 20);  // dx = 59, dy = 0
  setSample(state, 2, 10, 20, 70, 21);  // dx = 60, dy = 1
  ASSERT_EQ(ReduceReading(state, kGeometry), std::nullopt);
  EXPECT_NEAR(state.longDeviations[1], 1, 1e-5);
  EXPECT_NEAR(state.transDeviations[1], 0, 1e-5);
  EXPECT_NEAR(state.longDeviations[2], 0, 1e-5);
  EXPECT_NEAR(state.transDeviations[2], 1, 1e-5);
}

// The customary one-argument arctangent turned such an exposure by half a
// circle (longitudinal about 120, transverse about -1).
TEST(Deviations, APairNearTheVerticalWhoseDxChangesSignMovedOnePixel) {
  MonitorState state = stateAfterStartup(1);
  setMeans(state, 0, 0, 0.5f, 60);       // refDX = 0.5, refDY = 60
  setSample(state, 1, 0, 0, -0.5f, 60);  // dx = -0.5, dy = 60
  ASSERT_EQ(ReduceReading(state, kGeometry), std::nullopt);
  const Deviation expected = projected(0.5, 60, -0.5, 60);
  EXPECT_NEAR(expected.longitudinal, 0.008, 5e-4);
  EXPECT_NEAR(expected.transverse, 1, 1e-3);
  EXPECT_NEAR(state.longDeviations[1], expected.longitudinal, 1e-5);
  EXPECT_NEAR(state.transDeviations[1], expected.transverse, 1e-5);
}

// Every direction of the pair, including exactly vertical ones (refDX or dx
// of 0) and pairs whose star 2 lies left of star 1.
TEST(Deviations, AgreeWithTheProjectionInEveryDirection) {
  const double pi = std::acos(-1.0);
  for (int r = 0; r < 24; ++r) {
    const double refAngle = r * pi / 12;
    const auto refDX = static_cast<float>(std::round(60 * std::cos(refAngle) * 4) / 4);
    const auto refDY = static_cast<float>(std::round(60 * std::sin(refAngle) * 4) / 4);
    const struct {
      float dx;
      float dy;
    } offsets[] = {{0, 0}, {1, 0}, {-1, 0}, {0, 1}, {0, -1}, {0.75f, -1.5f}, {-2, 2}};
    MonitorState state = stateAfterStartup(static_cast<std::int16_t>(std::size(offsets) + 1));
    setMeans(state, 100, 100, 100 + refDX, 100 + refDY);
    int i = 1;
    for (const auto& offset : offsets) {
      setSample(state, i++, 100, 100, 100 + refDX + offset.dx, 100 + refDY + offset.dy);
    }
    setSample(state, i, 100, 100, 100 - refDY / 60,
              100 + refDX / 60);  // the exposure's pair turned a right angle
    ASSERT_EQ(ReduceReading(state, kGeometry), std::nullopt) << refAngle;
    i = 1;
    for (const auto& offset : offsets) {
      const Deviation expected = projected(refDX, refDY, refDX + offset.dx, refDY + offset.dy);
      EXPECT_NEAR(state.longDeviations[i], expected.longitudinal, 1e-4) << refDX << "," << refDY << " #" << i;
      EXPECT_NEAR(state.transDeviations[i], expected.transverse, 1e-4) << refDX << "," << refDY << " #" << i;
      ++i;
    }
    const double refSep = std::hypot(refDX, refDY);
    EXPECT_NEAR(state.longDeviations[i], refSep, 1e-4);
    EXPECT_NEAR(state.transDeviations[i], refSep / 60, 1e-4);
  }
}

TEST(SeeingFormula, GivesThePublishedIntermediateValues) {
  EXPECT_NEAR(longCoefficient(50, 150), 0.0612068, 5e-8);
  EXPECT_NEAR(transCoefficient(50, 150), 0.0431389, 5e-8);
  const double scale = pixelScale(9, 1000);
  EXPECT_NEAR(scale, 9.0e-6, 5e-12);
  EXPECT_NEAR(scale * 180 * 3600 / std::acos(-1.0), 1.856, 5e-4);  // arcseconds per pixel

  const struct {
    double airmass;
    double longSeeing;
    double transSeeing;
  } cases[] = {{1, 1.93378, 1.82504}, {1.5, 1.51618, 1.43093}};
  for (const auto& c : cases) {
    EXPECT_NEAR(seeingArcsec(scale * 0.5, longCoefficient(50, 150), c.airmass, 0.5f), c.longSeeing, 5e-6);
    EXPECT_NEAR(seeingArcsec(scale * 0.4, transCoefficient(50, 150), c.airmass, 0.5f), c.transSeeing, 5e-6);
  }
}

// Two exposures whose deviations are +-0.5 along and +-0.4 across the pair
// give RMS values of 0.5 and 0.4 pixels (a short separation keeps the
// single-precision steps well below the published digits).
void setHalfAndFourTenthsReading(MonitorState& state) {
  setMeans(state, 0, 0, 6, 0);
  setSample(state, 1, 0, 0, 5.5f, 0.4f);
  setSample(state, 2, 0, 0, 6.5f, -0.4f);
}

TEST(ReduceReading, EntersThePublishedSeeingIntoTheNextHistorySlot) {
  const struct {
    double airmass;
    double fwhm;
  } cases[] = {{1, 1.87941}, {1.5, 1.47355}};
  for (const auto& c : cases) {
    MonitorState state = stateAfterStartup(2);
    state.longDeviations[0] = 7;  // outside the reading: left alone
    state.longDeviations[3] = 9;
    setHalfAndFourTenthsReading(state);
    ASSERT_EQ(ReduceReading(state, {c.airmass, 1000, 9}), std::nullopt);
    EXPECT_NEAR(state.longStdDev, 0.5, 1e-6);
    EXPECT_NEAR(state.transStdDev, 0.4, 1e-6);
    EXPECT_NEAR(state.longDeviations[1], 0.5, 1e-6);
    EXPECT_NEAR(state.longDeviations[2], -0.5, 1e-6);
    EXPECT_NEAR(state.transDeviations[1], 0.4, 1e-6);
    EXPECT_NEAR(state.transDeviations[2], -0.4, 1e-6);
    EXPECT_EQ(state.longDeviations[0], 7);
    EXPECT_EQ(state.longDeviations[3], 9);
    EXPECT_NEAR(state.fwhmHistory[1], c.fwhm, 5e-6);
    EXPECT_EQ(state.historyCount, 2);
    EXPECT_EQ(state.fwhmHistory[0], 0);
    EXPECT_EQ(state.fwhmHistory[2], 0);
  }
}

TEST(ReduceReading, AStillPairGivesZeroSeeingNotANumberFault) {
  MonitorState state = stateAfterStartup(3);
  setMeans(state, 5, 5, 45, 35);
  for (int i = 1; i <= 3; ++i) setSample(state, i, 5, 5, 45, 35);
  ASSERT_EQ(ReduceReading(state, kGeometry), std::nullopt);
  EXPECT_EQ(state.longStdDev, 0);
  EXPECT_EQ(state.fwhmHistory[1], 0);
}

TEST(HistoryRing, TheTwoHundredthReadingTakesSlot200AndThe201stOverwritesSlot1) {
  MonitorState state = stateAfterStartup(2);
  setHalfAndFourTenthsReading(state);
  const auto airmassOf = [](int reading) { return 1 + 0.01 * reading; };
  for (int reading = 1; reading <= 200; ++reading) {
    ASSERT_EQ(ReduceReading(state, {airmassOf(reading), 1000, 9}), std::nullopt);
    EXPECT_EQ(state.historyCount, reading == 200 ? 1 : reading + 1);
  }
  EXPECT_EQ(state.fwhmHistory[0], 0);
  // The airmass rises with the reading number and the same motion then means
  // better seeing at the zenith: the values fall from slot 1 to slot 200.
  for (int slot = 2; slot <= 200; ++slot)
    EXPECT_LT(state.fwhmHistory[slot], state.fwhmHistory[slot - 1]) << slot;

  const float first = state.fwhmHistory[1];
  const float second = state.fwhmHistory[2];
  ASSERT_EQ(ReduceReading(state, {airmassOf(2), 1000, 9}), std::nullopt);
  EXPECT_EQ(state.fwhmHistory[1], second);
  EXPECT_NE(state.fwhmHistory[1], first);
  EXPECT_EQ(state.fwhmHistory[2], second);
  EXPECT_EQ(state.historyCount, 2);
}

TEST(HistoryRing, ACountOutsideTheRingStartsAtSlot1) {
  for (const std::int16_t count : {0, -5, 201}) {
    MonitorState state = stateAfterStartup(2);
    state.historyCount = count;
    setHalfAndFourTenthsReading(state);
    ASSERT_EQ(ReduceReading(state, kGeometry), std::nullopt);
    EXPECT_GT(state.fwhmHistory[1], 0) << count;
    EXPECT_EQ(state.fwhmHistory[0], 0) << count;
    EXPECT_EQ(state.historyCount, 2) << count;
  }
}

// A reading that cannot be reduced leaves no trace: history, count,
// deviations and RMS values stay as the previous reading left them.
TEST(ReduceReading, RefusesUnusableInputWithAReasonAndChangesNothing) {
  const float nanF = std::numeric_limits<float>::quiet_NaN();
  const struct {
    const char* what;
    std::function<void(MonitorState&, ExposureGeometry&)> spoil;
  } cases[] = {
      {"no exposures", [](MonitorState& s, ExposureGeometry&) { s.config.samplesPerReading = 0; }},
      {"201 exposures", [](MonitorState& s, ExposureGeometry&) { s.config.samplesPerReading = 201; }},
      {"hole diameter 0", [](MonitorState& s, ExposureGeometry&) { s.config.holeDiameter = 0; }},
      {"negative hole distance", [](MonitorState& s, ExposureGeometry&) { s.config.holeDistance = -150; }},
      {"wavelength 0", [](MonitorState& s, ExposureGeometry&) { s.config.wavelength = 0; }},
      {"wavelength NaN", [nanF](MonitorState& s, ExposureGeometry&) { s.config.wavelength = nanF; }},
      {"holes too close", [](MonitorState& s, ExposureGeometry&) { s.config.holeDistance = 20; }},
      {"focal length 0", [](MonitorState&, ExposureGeometry& g) { g.focalLength = 0; }},
      {"pixel size 0", [](MonitorState&, ExposureGeometry& g) { g.pixelSize = 0; }},
      {"pixel size NaN", [nanF](MonitorState&, ExposureGeometry& g) { g.pixelSize = nanF; }},
      {"airmass 0", [](MonitorState&, ExposureGeometry& g) { g.airmass = 0; }},
      {"star below the horizon", [](MonitorState&, ExposureGeometry& g) { g.airmass = CalcAirmass(-10); }},
      {"airmass infinite", [](MonitorState&, ExposureGeometry& g) { g.airmass = kInf; }},
      {"airmass NaN", [](MonitorState&, ExposureGeometry& g) { g.airmass = kNaN; }},
      {"sample NaN", [nanF](MonitorState& s, ExposureGeometry&) { s.sampleY[2][2] = nanF; }},
      {"sample infinite", [](MonitorState& s, ExposureGeometry&) { s.sampleX[1][1] = float(kInf); }},
      {"separation overflows",
       [](MonitorState& s, ExposureGeometry&) { setSample(s, 1, -3e38f, 0, 3e38f, 0); }},
      {"mean NaN", [nanF](MonitorState& s, ExposureGeometry&) { s.starX[2] = nanF; }},
      {"stars coincide", [](MonitorState& s, ExposureGeometry&) { setMeans(s, 30, 40, 30, 40); }},
  };
  for (const auto& c : cases) {
    MonitorState state = stateAfterStartup(2);
    setHalfAndFourTenthsReading(state);
    ASSERT_EQ(ReduceReading(state, kGeometry), std::nullopt) << "the unspoilt reading is sound";
    const MonitorState before = state;
    ExposureGeometry geometry = kGeometry;
    c.spoil(state, geometry);
    const std::optional<Failure> failure = ReduceReading(state, geometry);
    ASSERT_TRUE(failure.has_value()) << c.what;
    EXPECT_FALSE(failure->reason.empty()) << c.what;
    EXPECT_EQ(state.fwhmHistory, before.fwhmHistory) << c.what;
    EXPECT_EQ(state.historyCount, before.historyCount) << c.what;
    EXPECT_EQ(state.longDeviations, before.longDeviations) << c.what;
    EXPECT_EQ(state.transDeviations, before.transDeviations) << c.what;
    EXPECT_EQ(state.longStdDev, before.longStdDev) << c.what;
    EXPECT_EQ(state.transStdDev, before.transStdDev) << c.what;
  }
}

}  // namespace
}  // namespace nebulor
