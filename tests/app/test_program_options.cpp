#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/ProgramOptions.h"

namespace nebulor {
namespace {

TEST(ProgramOptions, ReadsTheCameraChoiceTheDemoAndTheHeadlessRun) {
  struct Case {
    std::vector<std::string> args;
    std::string camera;
    bool demo;
    int readings;
    bool headless = false;
    std::optional<stars::SeparationRange> separation = std::nullopt;
  };
  const Case cases[] = {
      {{}, kWindowCamera, false, 5},
      {{"--camera", "sim:seeing=0.8,altitude=40"}, "sim:seeing=0.8,altitude=40", false, 5},
      {{"--camera=indi:localhost:7624"}, "indi:localhost:7624", false, 5},
      {{"--demo"}, "sim", true, 5},
      {{"--demo", "--readings", "12"}, "sim", true, 12},
      {{"--readings=3", "--demo", "--camera", "sim:seed=4"}, "sim:seed=4", true, 3},
      {{"--headless"}, kWindowCamera, false, 0, true},  // until stopped
      {{"--headless", "--readings", "10", "--separation", "30:60.5"},
       kWindowCamera,
       false,
       10,
       true,
       {{30, 60.5}}},
      {{"--camera=indi:/tmp/indiserver", "--separation=80:80", "--headless"},
       "indi:/tmp/indiserver",
       false,
       0,
       true,
       {{80, 80}}},
  };
  for (const Case& c : cases) {
    const ProgramOptions options = parseProgramOptions(c.args);
    EXPECT_EQ(options.camera, c.camera);
    EXPECT_EQ(options.demo, c.demo);
    EXPECT_EQ(options.readings, c.readings);
    EXPECT_EQ(options.headless, c.headless);
    EXPECT_EQ(options.separation, c.separation);
    EXPECT_FALSE(options.help);
  }
  EXPECT_TRUE(parseProgramOptions({"--help"}).help);
}

TEST(ProgramOptions, ReadsTheDataFolderNightExposureCorrectionAndVersion) {
  const ProgramOptions plain = parseProgramOptions({});
  EXPECT_EQ(plain.dataDir, "");
  EXPECT_FALSE(plain.night);
  EXPECT_FALSE(plain.version);
  EXPECT_FALSE(plain.exposureCorrection);
  const ProgramOptions options =
      parseProgramOptions({"--data-dir", "/srv/dimm", "--night", "--version", "--exposure-correction"});
  EXPECT_EQ(options.dataDir, "/srv/dimm");
  EXPECT_TRUE(options.night);
  EXPECT_TRUE(options.exposureCorrection);
  EXPECT_TRUE(options.version);
  EXPECT_EQ(parseProgramOptions({"--data-dir=/srv/dimm two"}).dataDir, "/srv/dimm two");
  const ProgramOptions fixed = parseProgramOptions({"--fixed-extrapolation"});
  EXPECT_TRUE(fixed.fixedExtrapolation && fixed.exposureCorrection && !options.fixedExtrapolation);
}

TEST(ProgramOptions, ReadsTheChartsLogPictureNightAndSize) {
  const struct {
    std::vector<std::string> args;
    std::string log, output, date;
    int width, height;
  } cases[] = {
      {{"--chart", "-o", "n.png"}, "", "n.png", "", 1280, 720},
      {{"--chart", "/srv/SeeingReadings.csv", "--output=n.svg", "--date", "2026-12-07"},
       "/srv/SeeingReadings.csv",
       "n.svg",
       "2026-12-07",
       1280,
       720},
      {{"--size", "640x360", "--chart=log.csv", "-o", "n.png", "--night"}, "log.csv", "n.png", "", 640, 360},
  };
  for (const auto& c : cases) {
    const ProgramOptions options = parseProgramOptions(c.args);
    EXPECT_TRUE(options.chart);
    EXPECT_EQ(options.chartLog, c.log);
    EXPECT_EQ(options.chartOutput, c.output);
    EXPECT_EQ(options.chartDate, c.date);
    EXPECT_EQ(options.chartWidth, c.width);
    EXPECT_EQ(options.chartHeight, c.height);
  }
}

TEST(ProgramOptions, ReadsTheReportsLogsNightsAndSite) {
  const struct {
    std::vector<std::string> args;
    std::vector<std::string> places;
    std::string from, to, site;
  } cases[] = {
      {{"--report", "-o", "r.html"}, {}, "", "", ""},
      {{"--report", "a.csv", "/srv/logs", "--from", "2026-01-01", "--to=2026-06-30", "-o", "r.html"},
       {"a.csv", "/srv/logs"},
       "2026-01-01",
       "2026-06-30",
       ""},
      {{"--site", "Roque de los Muchachos", "--report", "--night", "-o", "r.htm"},
       {},
       "",
       "",
       "Roque de los Muchachos"},
  };
  for (const auto& c : cases) {
    const ProgramOptions options = parseProgramOptions(c.args);
    EXPECT_TRUE(options.report);
    EXPECT_EQ(options.reportPlaces, c.places);
    EXPECT_EQ(options.reportFrom, c.from);
    EXPECT_EQ(options.reportTo, c.to);
    EXPECT_EQ(options.site, c.site);
  }
}

TEST(ProgramOptions, RefusesWhatItCannotFollowWithOneLine) {
  const std::vector<std::vector<std::string>> bad = {
      {"--camera"},
      {"--camera="},
      {"--demo", "--readings", "-1"},
      {"--demo", "--alpaca", "0"},
      {"--alpaca-bind", "127.0.0.1"},
      {"--demo", "--readings", "ten"},
      {"--demo", "--readings", "3x"},
      {"--readings", "4"},
      {"--frobnicate"},
      {"sim"},
      {"--demo=yes"},
      {"--data-dir"},
      {"--data-dir="},
      {"--night=1"},
      {"--version=2"},
      {"--demo", "--headless"},
      {"--separation", "30:60"},
      {"--headless", "--separation", "60:30"},
      {"--headless", "--separation", "0:30"},
      {"--headless", "--separation", "30"},
      {"--headless", "--separation", "30:sixty"},
      {"--chart"},
      {"--chart", "-o", "n.jpg"},
      {"--chart", "-o", "n.png", "--demo"},
      {"--chart", "-o", "n.png", "--date", "7.12.2026"},
      {"--chart", "-o", "n.png", "--size", "320x200"},
      {"--chart", "-o", "n.png", "--size", "1280"},
      {"-o", "n.png"},
      {"--date", "2026-12-07"},
      {"--report"},
      {"--report", "-o", "r.png"},
      {"--report", "--chart", "-o", "r.html"},
      {"--report", "-o", "r.html", "--headless"},
      {"--report", "-o", "r.html", "--from", "2026-13-01"},
      {"--report", "-o", "r.html", "--from", "2026-07-01", "--to", "2026-06-30"},
      {"--report", "-o", "r.html", "--size", "640x360"},
      {"--site", "x"},
      {"--from", "2026-07-01"},
  };
  for (const auto& args : bad) {
    SCOPED_TRACE(args.empty() ? "" : args.front());
    try {
      parseProgramOptions(args);
      ADD_FAILURE() << "accepted";
    } catch (const ProgramOptionsError& error) {
      const std::string text = error.what();
      EXPECT_FALSE(text.empty());
      EXPECT_EQ(text.find('\n'), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace nebulor
