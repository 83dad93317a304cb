#include "flows/HeaderNumber.h"

#include <cmath>
#include <string_view>

#include "core/NumberParse.h"

namespace nebulor {

HeaderNumber headerNumber(camera::ImageDocument& document, const char* keyword) {
  const std::optional<camera::FitsValue> value = document.fitsKey(keyword);
  if (!value) return {};
  double number = 0;
  if (const auto* text = std::get_if<std::string>(&*value)) {
    std::string_view digits(*text);
    while (!digits.empty() && digits.front() == ' ') digits.remove_prefix(1);
    while (!digits.empty() && digits.back() == ' ') digits.remove_suffix(1);
    if (digits.empty()) return {};
    const std::optional<double> parsed = parseNumber(digits);
    if (!parsed) return {std::nullopt, true};
    number = *parsed;
  } else {
    number = std::get<double>(*value);
  }
  if (!std::isfinite(number)) return {std::nullopt, true};
  if (number == 0) return {};
  return {number, false};
}

}  // namespace nebulor
