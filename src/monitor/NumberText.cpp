#include "monitor/NumberText.h"

#include <cstdio>

namespace nebulor {

namespace {

// %g gives exactly the general number format: rounded to the given number of
// significant digits, trailing zeros and a bare decimal point removed, and
// exponent form only for very large or very small magnitudes. The C locale is
// never changed by Nebulor, so printf's decimal point is always '.'.
std::string generalText(double value, int significantDigits, char decimalPoint) {
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%.*g", significantDigits, value);
  std::string text(buffer);
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

}  // namespace nebulor
