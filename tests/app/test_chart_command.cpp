// nebulor --chart and --report as a user runs them, on the log of a demo run.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "measure/ReadingsLog.h"
#include "support/HeadlessChromium.h"
#include "support/ProgramProcess.h"
#include "support/TempFolder.h"

namespace nebulor {
namespace {

using namespace std::chrono_literals;
using testing::ProgramProcess;
using testing::TempFolder;

// The readings log of a short demo run in the folder, and a CSV file that is no readings log.
void writeDemoLogs(const TempFolder& demo) {
  ProgramProcess run(
      NEBULOR_EXECUTABLE, demo.path(),
      {"--demo", "--readings", "3", "--camera", "sim:timing=instant", "--data-dir", demo.folder()});
  ASSERT_EQ(run.wait(60s), 0) << run.error();
  demo.write("foreign.csv", "date,temperature\n2026-12-07,3.5\n");
}

TEST(ChartProgram, DrawsTheNightOfADemoRunsLogAndPrintsItsSummary) {
  TempFolder demo;
  ASSERT_NO_FATAL_FAILURE(writeDemoLogs(demo));
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

// The site report of the same logs, and its page in a browser.
TEST(SiteReportProgram, WritesTheReportOfADemoRunThatABrowserLoadsWithEverySectionAndNoRequest) {
  TempFolder demo;
  ASSERT_NO_FATAL_FAILURE(writeDemoLogs(demo));
  const struct {
    std::vector<std::string> args;
    int exitCode;
    const char* output;  // on standard output
    const char* error;   // on standard error
    const char* page;    // in the page written
  } cases[] = {
      {{"--data-dir", demo.folder(), "--site", "Roque <test>"},
       0,
       "logs=1\nnights=1\n",
       "",
       "<h1>Seeing at Roque &lt;test&gt;</h1>"},
      {{demo.file(kReadingsLogFileName), "--night"}, 0, "best_below_1.5=", "", "--back: #000;"},
      {{demo.file("foreign.csv")}, 1, "", "nothing to report: no readings log", ""},
      {{demo.folder(), "--from", "1999-01-01", "--to", "1999-01-02"},
       1,
       "",
       "no night from the dates asked for",
       ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front());
    TempFolder place;
    std::vector<std::string> args = {"--report"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    args.insert(args.end(), {"-o", place.file("report.html")});
    ProgramProcess report(NEBULOR_EXECUTABLE, place.path(), args);
    EXPECT_EQ(report.wait(30s), c.exitCode);
    EXPECT_NE(report.output().find(c.output), std::string::npos) << report.output();
    EXPECT_NE(report.error().find(c.error), std::string::npos) << report.error();
    EXPECT_NE(place.read("report.html").find(c.page), std::string::npos);
  }

  if (!std::filesystem::exists(testing::kChromium)) GTEST_SKIP() << "chromium is not installed";
  TempFolder browser;
  ProgramProcess report(NEBULOR_EXECUTABLE, browser.path(),
                        {"--report", "--data-dir", demo.folder(), "-o", browser.file("report.html")});
  ASSERT_EQ(report.wait(30s), 0) << report.error();
  const std::string dom = testing::chromiumDom("file://" + browser.file("report.html"), 2000, browser,
                                               {"--log-net-log=" + browser.file("net.json")});
  for (const char* section :
       {"summary", "distribution", "histogram", "by-hour", "by-month", "no-tau0", "nights", "method"}) {
    EXPECT_NE(dom.find(std::string("id=\"") + section + '"'), std::string::npos) << section;
  }
  std::size_t pictures = 0;
  for (std::size_t at = dom.find("<svg"); at != std::string::npos; at = dom.find("<svg", at + 1)) ++pictures;
  EXPECT_EQ(pictures, 4u);
  // A request of the page's own comes from its file: Chromium names that opaque origin "null".
  const std::string requests = browser.read("net.json");
  EXPECT_FALSE(requests.empty());
  EXPECT_EQ(requests.find("\"initiator\":\"null\""), std::string::npos);
  EXPECT_EQ(requests.find("\"initiator\":\"file:"), std::string::npos);
}

}  // namespace
}  // namespace nebulor
