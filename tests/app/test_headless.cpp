// The headless run as a user starts it: the nebulor executable without a
// display, its exit code, its output and its files.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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

// One running Nebulor per data folder: the second copy names the holder and
// exits 2; a holder killed outright leaves no lock. Each program runs from a
// folder of its own, the data in a third.
TEST(HeadlessProgram, OneCopyPerDataFolderAndNoStaleLockAfterKill9) {
  for (const bool killFirst : {false, true}) {
    SCOPED_TRACE(killFirst ? "first killed with SIGKILL" : "first running");
    TempFolder data, firstFolder, secondFolder;
    std::vector<std::string> args = {"--headless", "--camera", "sim:timing=instant", "--data-dir",
                                     data.file("")};
    ProgramProcess first(NEBULOR_EXECUTABLE, firstFolder.file(""), args);
    ASSERT_TRUE(first.waitForError("monitoring.", 30s)) << first.error();
    if (killFirst) first.signal(SIGKILL);
    if (killFirst) first.wait(5s);
    args.insert(args.end(), {"--readings", "1"});
    ProgramProcess second(NEBULOR_EXECUTABLE, secondFolder.file(""), args);
    EXPECT_EQ(second.wait(30s), killFirst ? 0 : 2) << second.error();
    const std::string refusal = "(process " + std::to_string(first.pid()) + "); stop that one, or choose";
    EXPECT_EQ(second.error().find(refusal) != std::string::npos, !killFirst) << second.error();
  }
}

// A listener that never says a word: the INDI client waits for its devices.
struct SilentServer {
  SilentServer() {
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(fd, 4);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    camera = "indi:localhost:" + std::to_string(ntohs(address.sin_port));
  }
  ~SilentServer() { ::close(fd); }
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  std::string camera;
};

// The handlers are the program's first act: once they are in place (seen in
// /proc), every stop signal ends it with exit 0, in a wait on a silent INDI server too.
TEST(HeadlessProgram, EveryStopSignalEndsItWithExitZeroFromItsFirstMoment) {
  const SilentServer silent;
  const std::vector<std::string> cameras = {"sim", silent.camera};
  for (const std::string& camera : cameras) {
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
      SCOPED_TRACE(camera + " " + std::to_string(signal));
      TempFolder temp;
      ProgramProcess program(NEBULOR_EXECUTABLE, temp.file(""), {"--headless", "--camera", camera});
      const auto caught = [&] {
        const std::string text = testing::readBytes("/proc/" + std::to_string(program.pid()) + "/status");
        const std::size_t at = text.find("SigCgt:");
        return at != std::string::npos && (std::stoull(text.substr(at + 7), nullptr, 16) >> (signal - 1) & 1);
      };
      while (!caught() && !program.wait(1ms)) {
      }
      if (camera != "sim") std::this_thread::sleep_for(500ms);  // inside the wait for the devices
      program.signal(signal);
      EXPECT_EQ(program.wait(2s), 0) << program.error();
    }
  }
}

}  // namespace
}  // namespace nebulor
