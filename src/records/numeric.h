// Rounding and the one checked path from doubles to integers.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>

namespace skylode {

// Half away from zero: add 0.5 to the magnitude and truncate. Used for every
// conversion to an integer in files, protocols and the list view.
inline double RoundHalfAway(double v) { return v >= 0 ? std::trunc(v + 0.5) : std::trunc(v - 0.5); }

// Rounds half away from zero and converts, or gives nothing for NaN, infinity
// and values outside the integer's range. No cast ever sees such a value.
template <typename Int>
std::optional<Int> CheckedRound(double v) {
  if (!std::isfinite(v)) return std::nullopt;
  const double r = RoundHalfAway(v);
  // The bounds are exact powers of two, so these comparisons are exact.
  constexpr double lo = static_cast<double>(std::numeric_limits<Int>::min());
  constexpr double hiExclusive = static_cast<double>(std::numeric_limits<Int>::max()) + 1.0;
  if (r < lo || r >= hiExclusive) return std::nullopt;
  return static_cast<Int>(r);
}

// As CheckedRound, but a value out of range is pinned to the nearest bound and
// NaN gives `fallback`. For fields that must always hold something.
template <typename Int>
Int ClampRound(double v, Int fallback = 0) {
  if (std::isnan(v)) return fallback;
  if (auto r = CheckedRound<Int>(v)) return *r;
  return v < 0 ? std::numeric_limits<Int>::min() : std::numeric_limits<Int>::max();
}

// Integer division rounded half away from zero, e.g. decimetres to metres.
inline int32_t DivRoundHalfAway(int32_t value, int32_t divisor) {
  const int64_t v = value, d = divisor, half = d / 2;
  return static_cast<int32_t>(v >= 0 ? (v + half) / d : -((half - v) / d));
}

}  // namespace skylode
