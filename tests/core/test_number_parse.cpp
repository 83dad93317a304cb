#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

#include "core/NumberParse.h"

namespace nebulor {
namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(NumberParse, ReadsDecimalNumbersWithOneOptionalSign) {
  const struct {
    const char* text;
    double value;
  } numbers[] = {{"1.5", 1.5},    {"+2", 2},       {"-3e2", -300},    {".5", 0.5},
                 {"5.", 5},       {"+0.25", 0.25}, {"1E-3", 0.001},   {"inf", kInf},
                 {"-inf", -kInf}, {"1e999", kInf}, {"-1e999", -kInf}, {"1e-999", 0}};
  for (const auto& number : numbers) {
    const std::optional<double> parsed = parseNumber(number.text);
    ASSERT_TRUE(parsed.has_value()) << number.text;
    EXPECT_EQ(*parsed, number.value) << number.text;
  }
  EXPECT_TRUE(std::isnan(parseNumber("nan").value_or(0)));
}

TEST(NumberParse, RefusesEverythingElse) {
  for (const char* text : {"", "+", "-", "+-5", "-+5", "++5", "--5", " 5", "5 ", "1,5", "0x10", "1e", "1e+",
                           "five", "5s", "1 000"}) {
    EXPECT_FALSE(parseNumber(text).has_value()) << '"' << text << '"';
  }
}

TEST(NumberParse, WholeNumbersKeepToTheirType) {
  EXPECT_EQ(parseWhole<int>("42"), 42);
  EXPECT_EQ(parseWhole<int>("+42"), 42);
  EXPECT_EQ(parseWhole<int>("-7"), -7);
  EXPECT_EQ(parseWhole<std::int16_t>("32767"), 32767);
  for (const char* text : {"", "4.0", "1e3", "+-1", "99999999999", " 3", "3 "}) {
    EXPECT_FALSE(parseWhole<int>(text).has_value()) << '"' << text << '"';
  }
  EXPECT_FALSE(parseWhole<std::int16_t>("32768").has_value());
  EXPECT_FALSE(parseWhole<std::uint32_t>("-1").has_value());
}

}  // namespace
}  // namespace nebulor
