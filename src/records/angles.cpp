#include "records/angles.h"

#include <cmath>

#include "records/numeric.h"

namespace skylode {
namespace {

constexpr double kFullCircle = 4294967296.0;  // 360 degrees in semicircles

std::optional<int32_t> LatitudeFromSemicircles(double s) {
  if (!std::isfinite(s)) return std::nullopt;
  constexpr double kMax = 1073741824.0;  // 90 degrees
  if (s > kMax) s = kMax;
  if (s < -kMax) s = -kMax;
  return CheckedRound<int32_t>(s);
}

std::optional<int32_t> LongitudeFromSemicircles(double s) {
  if (!std::isfinite(s)) return std::nullopt;
  double r = RoundHalfAway(s);
  r = std::fmod(r, kFullCircle);
  if (r >= 2147483648.0) r -= kFullCircle;
  if (r < -2147483648.0) r += kFullCircle;
  return CheckedRound<int32_t>(r);
}

}  // namespace

std::optional<int32_t> RadiansToLatitude(double radians) {
  return LatitudeFromSemicircles(radians * kRadiansToSemicircles);
}
std::optional<int32_t> RadiansToLongitude(double radians) {
  return LongitudeFromSemicircles(radians * kRadiansToSemicircles);
}
std::optional<int32_t> DegreesToLatitude(double degrees) {
  return LatitudeFromSemicircles(degrees * kDegreesToSemicircles);
}
std::optional<int32_t> DegreesToLongitude(double degrees) {
  return LongitudeFromSemicircles(degrees * kDegreesToSemicircles);
}

int32_t SemicirclesToMilliMinutes(int32_t s) {
  return static_cast<int32_t>(RoundHalfAway(s * kSemicirclesToMilliMinutes));
}
int32_t SemicirclesToCentiSeconds(int32_t s) {
  return static_cast<int32_t>(RoundHalfAway(s * kSemicirclesToCentiSeconds));
}

int32_t CentiMinutesToSemicircles(uint32_t magnitude, bool negative) {
  // 2^24 * 1988.4 stays far below 2^53 but can exceed 2^31: clamp rather than wrap.
  const int32_t v = ClampRound<int32_t>(std::trunc(magnitude * kCentiMinutesToSemicircles + 0.5));
  return negative ? -v : v;
}

}  // namespace skylode
