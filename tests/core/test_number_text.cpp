#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <locale>
#include <string>

#include "core/NumberText.h"

namespace nebulor {
namespace {

struct SingleCase {
  float value;
  const char* text;
};

// Shown values: the defaults and sizes the program writes, rounded to 7
// significant digits with trailing zeros and a bare point dropped.
TEST(NumberText, SingleTextIsShortestSevenDigitForm) {
  const SingleCase cases[] = {
      {0.01f, "0.01"},
      {150.0f, "150"},
      {0.55f, "0.55"},
      {0.5f, "0.5"},
      {50.0f, "50"},
      {512.3f, "512.3"},
      {300.25f, "300.25"},
      {540.125f, "540.125"},
      {-2.5f, "-2.5"},
      {1234567.8f, "1234568"},
      {0.1f, "0.1"},
      {123.4567f, "123.4567"},
      {1.0f / 3.0f, "0.3333333"},
  };
  for (const auto& c : cases) EXPECT_EQ(singleText(c.value), c.text) << c.value;
}

TEST(NumberText, DoubleTextKeepsFifteenDigits) {
  EXPECT_EQ(doubleText(1.15470053798039), "1.15470053798039");
  EXPECT_EQ(doubleText(1.0), "1");
  EXPECT_EQ(doubleText(2.0 / 3.0), "0.666666666666667");
  EXPECT_EQ(doubleText(-0.25), "-0.25");
}

TEST(NumberText, ZeroNaNAndInfinityHaveSaneText) {
  EXPECT_EQ(singleText(0.0f), "0");
  EXPECT_EQ(singleText(-0.0f), "0");
  EXPECT_EQ(doubleText(-0.0), "0");
  EXPECT_EQ(singleText(std::numeric_limits<float>::quiet_NaN()), "nan");
  EXPECT_EQ(doubleText(-std::numeric_limits<double>::quiet_NaN()), "nan");
  EXPECT_EQ(singleText(std::numeric_limits<float>::infinity()), "inf");
  EXPECT_EQ(doubleText(-std::numeric_limits<double>::infinity()), "-inf");
}

// Magnitudes the plain form cannot show take exponent form, and that text
// reads back as the value (7 digits of a float give back that float when the
// float itself came from a 7-digit decimal).
TEST(NumberText, ExponentFormReadsBack) {
  for (const float value : {1e-5f, 2.5e-9f, 3e20f, -4.25e12f, 1e38f}) {
    const std::string text = singleText(value);
    EXPECT_NE(text.find('e'), std::string::npos) << text;
    float back = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), back);
    EXPECT_EQ(result.ptr, text.data() + text.size()) << text;
    EXPECT_EQ(back, value) << text;
  }
}

TEST(NumberText, DecimalSeparatorIsTheCallersAndFilesKeepTheFullStop) {
  EXPECT_EQ(singleText(0.55f, ','), "0,55");
  EXPECT_EQ(doubleText(1.15470053798039, ','), "1,15470053798039");
  EXPECT_EQ(singleText(150.0f, ','), "150");

  // A global C++ locale with a comma must not leak into the file form.
  struct CommaPoint : std::numpunct<char> {
    char do_decimal_point() const override { return ','; }
  };
  const std::locale previous = std::locale::global(std::locale(std::locale::classic(), new CommaPoint));
  const std::string text = singleText(0.55f);
  std::locale::global(previous);
  EXPECT_EQ(text, "0.55");
}

}  // namespace
}  // namespace nebulor
