#include "core/NumberParse.h"

#include <cmath>

namespace nebulor {

std::optional<double> parseNumber(std::string_view text) {
  // from_chars knows no '+'; a second sign after it stays an error.
  if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
  if (text.empty()) return std::nullopt;
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (end != text.data() + text.size()) return std::nullopt;
  if (error == std::errc::result_out_of_range) {
    const bool negative = text.front() == '-';
    const auto exponent = text.find_first_of("eE");
    const bool tiny = exponent != std::string_view::npos && text.substr(exponent + 1).starts_with('-');
    if (tiny) return negative ? -0.0 : 0.0;
    return negative ? -HUGE_VAL : HUGE_VAL;
  }
  if (error != std::errc()) return std::nullopt;
  return value;
}

}  // namespace nebulor
