#pragma once

#include <charconv>
#include <optional>
#include <string_view>

namespace nebulor {

// Every number Nebulor reads as text (config.ini, header values, simulator,
// INDI and command-line options) goes through these two, so they all agree on
// what a number is: an optional sign ('+' or '-', one of them), digits with a
// full stop, an optional exponent; also "inf" and "nan" as the number texts
// write them. No blanks, no thousands separators, no hexadecimal. Callers keep
// their own rules about blanks, empty fields and ranges.

// A magnitude beyond a double gives infinity with its sign, one below the
// smallest gives zero.
std::optional<double> parseNumber(std::string_view text);

// A whole number of the type's range; anything else (a fraction, an exponent,
// a value out of range) is no whole number.
template <typename Int>
std::optional<Int> parseWhole(std::string_view text) {
  if (text.size() > 1 && text.front() == '+' && text[1] != '-') text.remove_prefix(1);
  Int value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace nebulor
