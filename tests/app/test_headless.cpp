// The headless run as a user starts it: the nebulor executable without a
// display, its exit code, its output and its files.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "config/ConfigFile.h"
#include "measure/RawLog.h"
#include "support/ProgramProcess.h"
#include "support/TempFolder.h"

namespace nebulor {
namespace {

using namespace std::chrono_literals;
using testing::ProgramProcess;
using testing::TempFolder;

int lineCount(const std::string& text, const std::string& start) {
  int count = 0;
  for (std::size_t at = 0; (at = text.find(start, at)) != std::string::npos; ++at) {
    if (at == 0 || text[at - 1] == '\n') ++count;
  }
  return count;
}

TEST(HeadlessProgram, EndsWithTheExitCodeOfHowTheRunEnded) {
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int exitCode;
    int readings;
    const char* error;  // text on standard error
  };
  const Case cases[] = {
      {"readings done", {"--camera", "sim:timing=instant", "--readings", "2"}, 0, 2, "monitoring."},
      {"camera does not link", {"--camera", "sim:linkfail=1"}, 1, 0, "Failed to start camera."},
      {"no focal length in the header",
       {"--camera", "sim:timing=instant,missing=FOCALLEN"},
       1,
       0,
       "lacks the focal length"},
      {"pair too far apart for the mask",
       {"--camera", "sim:timing=instant,separation=400,angle=0"},
       1,
       0,
       "The two star images could not be chosen"},
      {"its separation given",
       {"--camera", "sim:timing=instant,separation=400,angle=0", "--separation", "380:420", "--readings",
        "1"},
       0,
       1,
       "monitoring."},
      {"bad separation", {"--separation", "40"}, 2, 0, "--separation takes MIN:MAX"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempFolder temp;
    std::vector<std::string> args = {"--headless"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    ProgramProcess program(NEBULOR_EXECUTABLE, temp.file(""), args);
    EXPECT_EQ(program.wait(60s), c.exitCode) << program.error();
    EXPECT_NE(program.error().find(c.error), std::string::npos) << program.error();
    EXPECT_EQ(lineCount(program.output(), "reading="), c.readings) << program.output();
    if (c.readings > 0) {
      EXPECT_NE(program.output().find(" true=1.2000 best="), std::string::npos);
    }
  }
}

TEST(HeadlessProgram, AStopSignalDuringAnExposureDiscardsItAndClosesTheLog) {
  for (const int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    TempFolder temp;
    Config config = defaultConfig();
    config.measurementExposure = 5;  // long enough to be caught in the middle
    temp.write(kConfigFileName, configText(config));
    ProgramProcess program(NEBULOR_EXECUTABLE, temp.file(""), {"--headless"});
    ASSERT_TRUE(program.waitForError("monitoring.", 30s)) << program.error();
    std::this_thread::sleep_for(1s);
    program.signal(signal);
    // Ended well before the exposure would have: it was not waited for.
    EXPECT_EQ(program.wait(3s), 0) << program.error();
    // No exposure completed: no raw log row was written, so no log was begun.
    EXPECT_FALSE(std::filesystem::exists(temp.file(kRawLogFileName)));
    EXPECT_EQ(program.output(), "");
  }
}

}  // namespace
}  // namespace nebulor
