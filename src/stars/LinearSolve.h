#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <utility>

namespace nebulor::stars::detail {

// Solves the symmetric system a x = b in place (Gaussian elimination with
// partial pivoting); false when it is singular.
template <std::size_t N>
bool solve(std::array<std::array<double, N>, N> a, std::array<double, N>& b) {
  for (std::size_t col = 0; col < N; ++col) {
    std::size_t pivot = col;
    for (std::size_t row = col + 1; row < N; ++row) {
      if (std::abs(a[row][col]) > std::abs(a[pivot][col])) pivot = row;
    }
    if (!(std::abs(a[pivot][col]) > 0)) return false;
    std::swap(a[col], a[pivot]);
    std::swap(b[col], b[pivot]);
    for (std::size_t row = col + 1; row < N; ++row) {
      const double factor = a[row][col] / a[col][col];
      for (std::size_t k = col; k < N; ++k) a[row][k] -= factor * a[col][k];
      b[row] -= factor * b[col];
    }
  }
  for (std::size_t col = N; col-- > 0;) {
    for (std::size_t k = col + 1; k < N; ++k) b[col] -= a[col][k] * b[k];
    b[col] /= a[col][col];
  }
  return true;
}

}  // namespace nebulor::stars::detail
