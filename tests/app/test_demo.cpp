#include <gtest/gtest.h>

#include <QApplication>
#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "app/BackendFactory.h"
#include "app/Session.h"
#include "measure/RawLog.h"
#include "measure/ReadingsLog.h"
#include "support/FlowRig.h"

namespace nebulor {
namespace {

// Kept alive through exit: Qt's own teardown at exit must not find it destroyed.
QApplication& application() {
  static int argc = 1;
  static char name[] = "test_demo";
  static char* argv[] = {name, nullptr};
  static auto* app = new QApplication(argc, argv);
  return *app;
}

struct DemoRun {
  int exitCode = -1;
  std::vector<double> seeing;
  std::vector<double> truth;
  std::vector<double> best;
  std::vector<double> error;
  std::string err;
};

DemoRun runDemoWith(const std::string& camera, int readings, const testing::TempFolder& temp,
                    bool fast = false) {
  camera::Backend backend = camera::makeBackend(camera, camera::BackendUse::demo);
  std::ostringstream out;
  std::ostringstream err;
  DemoRun run;
  run.exitCode = runDemo(application(), backend, readings, temp.folder(), out, err, {false, false, fast});
  run.err = err.str();
  std::istringstream lines(out.str());
  int expectedReading = 1;
  for (std::string line; std::getline(lines, line);) {
    EXPECT_EQ(line.rfind("reading=" + std::to_string(expectedReading++) + " seeing=", 0), 0u) << line;
    const auto value = [&line](const std::string& key) {
      const auto at = line.find(" " + key + "=");
      return std::stod(line.substr(at + key.size() + 2));
    };
    run.seeing.push_back(value("seeing"));
    run.truth.push_back(value("true"));
    run.best.push_back(value("best"));
    run.error.push_back(value("error"));
  }
  return run;
}

TEST(Demo, MonitorsTheSimulatorAndMeasuresItsSeeing) {
  testing::TempFolder temp;
  constexpr int kReadings = 30;
  const DemoRun run = runDemoWith("sim:response=classical,seeing=1.2,altitude=70,seed=11", kReadings, temp);

  EXPECT_EQ(run.exitCode, 0) << run.err;
  ASSERT_EQ(run.seeing.size(), static_cast<std::size_t>(kReadings));
  // The log: its header, then at least one row per accepted exposure.
  const std::string log = temp.read(kRawLogFileName);
  EXPECT_EQ(log.rfind("\"Local Time\",\"Airmass\",\"X1\",\"Y1\",\"X2\",\"Y2\"\r\n", 0), 0u);
  const std::vector<std::string> rows = testing::rawLogRows(log);
  EXPECT_GE(rows.size(), static_cast<std::size_t>(kReadings * 20));
  for (const std::string& row : {rows.front(), rows.back()}) {
    ASSERT_EQ(row.front(), '#');
    const std::string airmass = row.substr(row.find("#,") + 2);
    EXPECT_GT(std::stod(airmass), 1.0);  // altitude 70: airmass about 1.06
    EXPECT_LT(std::stod(airmass), 1.2);
  }

  // Mean of the readings against what the estimator gives for 20 exposures
  // (0.958 of the truth), within four standard errors of the mean.
  double sum = 0;
  for (double s : run.seeing) sum += s;
  const double mean = sum / kReadings;
  double squares = 0;
  for (double s : run.seeing) squares += (s - mean) * (s - mean);
  const double standardError = std::sqrt(squares / (kReadings - 1) / kReadings);
  const double n = 20;
  const double expected = run.truth.front() * std::pow(2.0, 0.6) * std::tgamma((n - 1) / 2 + 0.6) /
                          std::tgamma((n - 1) / 2) / std::pow(n, 0.6);
  EXPECT_NEAR(mean, expected, 4 * standardError);
  EXPECT_GT(standardError, 0);
}

TEST(Demo, ChoosesItsStarsOnceAPassingCloudHasGone) {
  testing::TempFolder temp;
  const DemoRun cloudy = runDemoWith("sim:clouds=0.2,seed=1", 2, temp);  // its first full frames are clouded
  EXPECT_EQ(cloudy.exitCode, 0) << cloudy.err;
  EXPECT_EQ(cloudy.seeing.size(), 2u);
}

TEST(Demo, ARunThatEndsEarlyExitsWithItsMessage) {
  testing::TempFolder temp;
  // The full frame's header serves the automatic selection, the subframes' the measurement.
  const DemoRun noFocalLength = runDemoWith("sim:missing=FOCALLEN", 3, temp);
  EXPECT_NE(noFocalLength.exitCode, 0);
  EXPECT_TRUE(noFocalLength.seeing.empty());
  EXPECT_NE(noFocalLength.err.find("lacks the focal length"), std::string::npos) << noFocalLength.err;
  // What helps is the imaging application's settings; the demo takes no --separation.
  EXPECT_NE(noFocalLength.err.find("imaging application's settings"), std::string::npos) << noFocalLength.err;
  EXPECT_EQ(noFocalLength.err.find("--separation"), std::string::npos) << noFocalLength.err;

  const DemoRun noCamera = runDemoWith("sim:linkfail=1", 3, temp);
  EXPECT_NE(noCamera.exitCode, 0);
  EXPECT_NE(noCamera.err.find("Failed to start camera."), std::string::npos);
}

// Whatever ends the run, every reading in the readings log was printed, in
// order and with its value; a link lost just after a reading included.
TEST(Demo, PrintsEveryReadingItLogs) {
  for (const char* camera : {"sim:linklost=21", "sim:linklost=45", "sim:throw=expose,throwafter=50"}) {
    SCOPED_TRACE(camera);
    testing::TempFolder temp;
    const DemoRun run = runDemoWith(camera, 3, temp);
    std::vector<double> logged;
    for (const std::string& row : testing::rawLogRows(temp.read(kReadingsLogFileName))) {
      logged.push_back(std::stod(row.substr(row.find(',', row.find(',') + 1) + 1)));
    }
    ASSERT_FALSE(logged.empty()) << run.err;
    ASSERT_EQ(run.seeing.size(), logged.size()) << run.err;
    for (std::size_t i = 0; i < logged.size(); ++i) EXPECT_NEAR(run.seeing[i], logged[i], 5e-5) << i;
  }
}

// Fast acquisition measures what the exposure cycle measures: one reading of
// a minute of frames against the mean of slow readings, within their errors,
// in still air and in wind (frames then correlated as on a real sky).
TEST(Demo, FastAcquisitionAgreesWithTheExposureCycle) {
  for (const char* sky :
       {"seed=5,stream=50", "turbulence=screen,images=gaussian,wind=10,seed=6,stream=100"}) {
    SCOPED_TRACE(sky);
    const std::string camera = std::string("sim:timing=instant,") + sky;
    testing::TempFolder slowFolder;
    const DemoRun slow = runDemoWith(camera, 16, slowFolder);
    testing::TempFolder fastFolder;
    const DemoRun fast = runDemoWith(camera, 1, fastFolder, true);
    ASSERT_EQ(slow.best.size(), 16u) << slow.err;
    ASSERT_EQ(fast.best.size(), 1u) << fast.err;
    double mean = 0;
    for (const double b : slow.best) mean += b / 16;
    double squares = 0;
    for (const double b : slow.best) squares += (b - mean) * (b - mean);
    const double slowError = std::sqrt(squares / 15 / 16);
    EXPECT_NEAR(fast.best[0], mean, 3 * std::hypot(slowError, fast.error[0]));
    EXPECT_LT(fast.error[0], slowError) << "a minute of frames is more precise than 16 short readings";
  }
}

}  // namespace
}  // namespace nebulor
