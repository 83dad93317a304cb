#include "core/NumberText.h"

#include <charconv>
#include <cmath>

namespace nebulor {

namespace {

// General number format: rounded to the given number of significant digits,
// trailing zeros and a bare decimal point removed, exponent form only for very
// large or very small magnitudes. std::to_chars ignores the C locale, which Qt
// sets from the user's settings, so the decimal point is always '.' here.
template <typename Real>
std::string generalText(Real value, int significantDigits, char decimalPoint) {
  if (std::isnan(value)) return "nan";
  if (value == 0) return "0";  // also for -0: a sign on nothing only confuses
  char buffer[40];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, significantDigits);
  std::string text(buffer, result.ptr);
  if (decimalPoint != '.') {
    for (char& c : text) {
      if (c == '.') c = decimalPoint;
    }
  }
  return text;
}

}  // namespace

std::string singleText(float value, char decimalPoint) { return generalText(value, 7, decimalPoint); }

std::string doubleText(double value, char decimalPoint) { return generalText(value, 15, decimalPoint); }

std::string fixedText(double value, int decimals) {
  if (std::isnan(value)) return "nan";
  char buffer[400];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  const std::string text(buffer, result.ptr);
  return text.find_first_not_of("-0.") == std::string::npos && text.front() == '-' ? text.substr(1) : text;
}

}  // namespace nebulor
