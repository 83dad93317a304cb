#include <gtest/gtest.h>

#include <QtEndian>
#include <cmath>
#include <regex>

#include "AlpacaClient.h"
#include "DemoWithAlpaca.h"
#include "publish/LivePage.h"
#include "support/HeadlessChromium.h"

namespace nebulor {
namespace {

using testing::chromiumDom;
using testing::DemoWithAlpaca;
using testing::TempFolder;

// The page refreshes itself every 10 s: after 25 s of page time it has
// fetched three times, and shows the best estimate and classical value of
// a reading of the log, and asks for a chart no wider than its window.
TEST(LivePage, ShowsTheLoggedSeeingAfterItsSecondRefresh) {
  if (!std::filesystem::exists(testing::kChromium)) GTEST_SKIP() << "chromium is not installed";
  const DemoWithAlpaca demo;
  ASSERT_TRUE(demo.waitForReadings(2));
  const TempFolder browser;
  const std::string dom = chromiumDom("http://127.0.0.1:" + std::to_string(demo.port()) + "/", 25000, browser,
                                      {"--window-size=600,900"});
  const std::vector<double> best = demo.column("best_arcsec");
  const std::vector<double> seeing = demo.column("seeing_arcsec");
  std::smatch refreshes;
  std::smatch shown;
  ASSERT_TRUE(std::regex_search(dom, refreshes, std::regex("data-refreshes=\"(\\d+)\""))) << dom;
  EXPECT_GE(std::stoi(refreshes[1]), 3);
  ASSERT_TRUE(
      std::regex_search(dom, shown, std::regex("id=\"best\">([0-9.]+)<[\\s\\S]*id=\"seeing\">([0-9.]+)<")))
      << dom;
  // Readings come every second or so: the one shown is among the latest.
  bool found = false;
  for (std::size_t i = seeing.size() >= 5 ? seeing.size() - 5 : 0; i < seeing.size(); ++i) {
    found = found || (std::abs(std::stod(shown[1]) - best[i]) <= 0.005 + 1e-9 &&
                      std::abs(std::stod(shown[2]) - seeing[i]) <= 0.005 + 1e-9);
  }
  EXPECT_TRUE(found) << "shown " << shown[1] << " and " << shown[2] << ", latest logged " << best.back();
  std::smatch width;
  ASSERT_TRUE(
      std::regex_search(dom, width, std::regex("src=\"chart.png\\?palette=day&amp;width=(\\d+)&amp;")))
      << dom;
  EXPECT_LT(std::stoi(width[1]), 600);  // not the 704 of a desktop
  // The picture it loads is the night chart, in either palette, at the size asked within bounds.
  const std::pair<std::string, std::pair<int, int>> rows[] = {
      {"palette=day", {960, 540}},
      {"palette=night&width=abc&scale=", {960, 540}},
      {"palette=night&width=420&scale=2", {840, 630}},
      {"palette=day&width=10&scale=-3", {320, 240}},
      {"palette=day&width=1e9&scale=1e9", {2560, 1440}},
  };
  for (const auto& [query, pixels] : rows) {
    const testing::AlpacaClient::Reply chart = testing::AlpacaClient(demo.port()).get("/chart.png", query);
    EXPECT_EQ(chart.status, 200) << query;
    ASSERT_TRUE(chart.body.size() >= 24 && chart.body.starts_with("\x89PNG")) << query;
    const auto bigEndian = [&chart](int at) { return int(qFromBigEndian<quint32>(chart.body.data() + at)); };
    EXPECT_EQ(std::pair(bigEndian(16), bigEndian(20)), pixels) << query;  // from the PNG's header
  }
}

// Unknown values are null: here the tau0 of a wind that cannot be told from calm air.
TEST(LiveStatus, TheWindAndTau0OrNull) {
  Reading calm;
  calm.wind = 0.5;
  calm.windError = 0.75;
  const auto status =
      QJsonDocument::fromJson(liveStatus({ProgramMode::running, {}, {calm}, 1}, {}).body).object();
  EXPECT_EQ(std::pair(status["wind"].toDouble(), status["windError"].toDouble()), std::pair(0.5, 0.75));
  EXPECT_TRUE(status["tau0"].isNull() && status["tau0Error"].isNull());
}

}  // namespace
}  // namespace nebulor
