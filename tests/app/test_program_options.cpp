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
}

TEST(ProgramOptions, RefusesWhatItCannotFollowWithOneLine) {
  const std::vector<std::vector<std::string>> bad = {
      {"--camera"},
      {"--camera="},
      {"--demo", "--readings", "0"},
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
