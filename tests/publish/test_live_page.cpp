#include <gtest/gtest.h>

#include <cmath>
#include <regex>

#include "AlpacaClient.h"
#include "DemoWithAlpaca.h"
#include "support/HeadlessChromium.h"

namespace nebulor {
namespace {

using testing::chromiumDom;
using testing::DemoWithAlpaca;
using testing::TempFolder;

// The page refreshes itself every 10 s: after 25 s of page time it has
// fetched three times, and shows a reading of the log.
TEST(LivePage, ShowsTheLoggedSeeingAfterItsSecondRefresh) {
  if (!std::filesystem::exists(testing::kChromium)) GTEST_SKIP() << "chromium is not installed";
  const DemoWithAlpaca demo;
  ASSERT_TRUE(demo.waitForReadings(2));
  const TempFolder browser;
  const std::string dom =
      chromiumDom("http://127.0.0.1:" + std::to_string(demo.port()) + "/", 25000, browser);
  const std::vector<double> seeing = demo.column("seeing_arcsec");
  std::smatch refreshes;
  std::smatch shown;
  ASSERT_TRUE(std::regex_search(dom, refreshes, std::regex("data-refreshes=\"(\\d+)\""))) << dom;
  EXPECT_GE(std::stoi(refreshes[1]), 3);
  ASSERT_TRUE(std::regex_search(dom, shown, std::regex("id=\"seeing\">([0-9.]+)<"))) << dom;
  // Readings come every second or so: the one shown is among the latest.
  bool found = false;
  for (std::size_t i = seeing.size() >= 5 ? seeing.size() - 5 : 0; i < seeing.size(); ++i) {
    found = found || std::abs(std::stod(shown[1]) - seeing[i]) <= 0.005 + 1e-9;
  }
  EXPECT_TRUE(found) << "shown " << shown[1] << ", latest logged " << seeing.back();
  EXPECT_NE(dom.find("src=\"chart.png?palette=day&amp;readings="), std::string::npos) << dom;
  // The picture it loads is the night chart, in either palette.
  for (const char* palette : {"day", "night"}) {
    const testing::AlpacaClient::Reply chart =
        testing::AlpacaClient(demo.port()).get("/chart.png", std::string("palette=") + palette);
    EXPECT_EQ(chart.status, 200) << palette;
    EXPECT_EQ(chart.body.substr(0, 4), "\x89PNG") << palette;
  }
}

}  // namespace
}  // namespace nebulor
