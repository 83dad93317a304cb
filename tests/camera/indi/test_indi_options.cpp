#include <gtest/gtest.h>

#include "camera/Automation.h"
#include "camera/indi/IndiOptions.h"

namespace nebulor::camera::indi {
namespace {

struct ParseCase {
  const char* text;
  const char* host;
  int port;
  const char* socketPath;
  const char* ccd;
  const char* mount;
};

class ParseIndiOptions : public ::testing::TestWithParam<ParseCase> {};

TEST_P(ParseIndiOptions, GivesTheServerAndDevices) {
  const ParseCase& expected = GetParam();
  const IndiOptions options = parseIndiOptions(expected.text);
  EXPECT_EQ(options.host, expected.host);
  EXPECT_EQ(options.port, expected.port);
  EXPECT_EQ(options.socketPath, expected.socketPath);
  EXPECT_EQ(options.ccd, expected.ccd);
  EXPECT_EQ(options.mount, expected.mount);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, ParseIndiOptions,
    ::testing::Values(ParseCase{"", "localhost", 7624, "", "", ""},
                      ParseCase{"observatory", "observatory", 7624, "", "", ""},
                      ParseCase{"observatory:7700", "observatory", 7700, "", "", ""},
                      ParseCase{":7700", "localhost", 7700, "", "", ""},
                      ParseCase{"dimm.local:7624:QHY CCD QHY5III462M", "dimm.local", 7624, "",
                                "QHY CCD QHY5III462M", ""},
                      ParseCase{"::CCD Simulator:Telescope Simulator", "localhost", 7624, "", "CCD Simulator",
                                "Telescope Simulator"},
                      ParseCase{"host:1::EQMod Mount", "host", 1, "", "", "EQMod Mount"},
                      ParseCase{"/tmp/indiserver", "localhost", 7624, "/tmp/indiserver", "", ""},
                      ParseCase{"/tmp/indiserver:CCD Simulator:Telescope Simulator", "localhost", 7624,
                                "/tmp/indiserver", "CCD Simulator", "Telescope Simulator"},
                      ParseCase{"host:65535", "host", 65535, "", "", ""}));

TEST(ParseIndiOptionsErrors, NameTheBadPart) {
  struct BadCase {
    const char* text;
    const char* mentioned;
  };
  for (const BadCase& bad :
       {BadCase{"host:0", "\"0\""}, BadCase{"host:65536", "\"65536\""}, BadCase{"host:76x4", "\"76x4\""},
        BadCase{"host:-1", "\"-1\""}, BadCase{"host:7624:ccd:mount:extra", "too many fields"},
        BadCase{"/socket:ccd:mount:extra", "too many fields"}}) {
    try {
      parseIndiOptions(bad.text);
      ADD_FAILURE() << bad.text << " was accepted";
    } catch (const AutomationError& error) {
      EXPECT_NE(std::string(error.what()).find(bad.mentioned), std::string::npos) << error.what();
    }
  }
}

TEST(IndiOptionsText, NamesTheServerForMessages) {
  EXPECT_EQ(parseIndiOptions("observatory:7700").serverText(), "observatory:7700");
  EXPECT_EQ(parseIndiOptions("/run/indi.sock").serverText(), "unix socket /run/indi.sock");
}

}  // namespace
}  // namespace nebulor::camera::indi
