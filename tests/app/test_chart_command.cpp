// nebulor --chart as a user runs it, on the log of a demo run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "measure/ReadingsLog.h"
#include "support/ProgramProcess.h"
#include "support/TempFolder.h"

namespace nebulor {
namespace {

using namespace std::chrono_literals;
using testing::ProgramProcess;
using testing::TempFolder;

TEST(ChartProgram, DrawsTheNightOfADemoRunsLogAndPrintsItsSummary) {
  TempFolder demo;
  ProgramProcess run(
      NEBULOR_EXECUTABLE, demo.path(),
      {"--demo", "--readings", "3", "--camera", "sim:timing=instant", "--data-dir", demo.folder()});
  ASSERT_EQ(run.wait(60s), 0) << run.error();
  demo.write("foreign.csv", "date,temperature\n2026-12-07,3.5\n");
  const std::string log = demo.file(kReadingsLogFileName);
  const struct {
    std::vector<std::string> args;
    int exitCode;
    const char* output;   // on standard output
    const char* error;    // on standard error
    const char* picture;  // the picture file's opening
  } cases[] = {
      {{"--data-dir", demo.folder(), "-o", "night.png"}, 0, "readings=3\n", "", "\x89PNG"},
      {{log, "--night", "--size", "640x360", "-o", "night.svg"}, 0, "best_median=", "", "<?xml"},
      {{log, "--date", "1999-01-01", "-o", "night.png"}, 1, "", "no reading of the night of 1999-01-01", ""},
      {{demo.file("foreign.csv"), "-o", "night.png"}, 1, "", "not a Nebulor readings log", ""},
      {{demo.file("missing.csv"), "-o", "night.png"}, 1, "", "Cannot read", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front());
    TempFolder place;
    std::vector<std::string> args = {"--chart"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.back() = place.file(args.back());
    ProgramProcess chart(NEBULOR_EXECUTABLE, place.path(), args);
    EXPECT_EQ(chart.wait(30s), c.exitCode);
    EXPECT_NE(chart.output().find(c.output), std::string::npos) << chart.output();
    EXPECT_NE(chart.error().find(c.error), std::string::npos) << chart.error();
    EXPECT_EQ(place.read(c.args.back()).rfind(c.picture, 0), 0u);
  }
}

}  // namespace
}  // namespace nebulor
