#pragma once
// Small dense linear systems for the fits of the analysis (3 or 4 unknowns).
#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <utility>

namespace tov::detail {

// Solves the n x n system m·x = v in place (Gaussian elimination with
// pivoting); false when it is singular.
template <std::size_t N>
bool solve(std::array<std::array<double, N>, N> m, std::array<double, N>& v, std::size_t n = N) {
  for (std::size_t c = 0; c < n; ++c) {
    std::size_t pivot = c;
    for (std::size_t r = c + 1; r < n; ++r)
      if (std::fabs(m[r][c]) > std::fabs(m[pivot][c])) pivot = r;
    if (!(std::fabs(m[pivot][c]) > 0)) return false;
    std::swap(m[c], m[pivot]);
    std::swap(v[c], v[pivot]);
    for (std::size_t r = 0; r < n; ++r) {
      if (r == c) continue;
      const double f = m[r][c] / m[c][c];
      for (std::size_t k = c; k < n; ++k) m[r][k] -= f * m[c][k];
      v[r] -= f * v[c];
    }
  }
  for (std::size_t c = 0; c < n; ++c) v[c] /= m[c][c];
  return true;
}

// The diagonal element `which` of the inverse of m (n x n).
template <std::size_t N>
double inverseDiagonal(const std::array<std::array<double, N>, N>& m, std::size_t which, std::size_t n = N) {
  std::array<double, N> unit{};
  unit[which] = 1;
  if (!solve(m, unit, n)) return INFINITY;
  return unit[which];
}

} // namespace tov::detail
