#include "analysis/track_rotation.h"

#include <algorithm>
#include <cmath>
#include <numbers>


namespace skylode {

std::optional<RotationConstants> ComputeRotation(const GeoPosition& start, const GeoPosition& end) {
  const double dl = end.longitude - start.longitude;
  const double y = std::cos(start.latitude) * std::sin(end.latitude) -
                   std::sin(start.latitude) * std::cos(end.latitude) * std::cos(dl);
  const double x = std::sin(dl) * std::cos(end.latitude);
  const double s = std::sqrt(y * y + x * x);
  // The same or the opposite point gives no direction to turn east.
  if (!(s > 1e-15)) return std::nullopt;
  return RotationConstants{y / s, x / s};
}

GeoPosition RotatePosition(const GeoPosition& start, const GeoPosition& position, const RotationConstants& rc) {
  const double dl = position.longitude - start.longitude;
  const double y = std::cos(start.latitude) * std::sin(position.latitude) -
                   std::sin(start.latitude) * std::cos(position.latitude) * std::cos(dl);
  const double x = std::sin(dl) * std::cos(position.latitude);
  const double k = std::sin(start.latitude) * std::sin(position.latitude) +
                   std::cos(start.latitude) * std::cos(position.latitude) * std::cos(dl);
  // (k, u, v) are the position's coordinates in the rotated frame: towards
  // the new origin, east, north. The longitude is the angle of (k, u); taking
  // arcsin(u) instead is only right on the equator and bends every position
  // off it. Rounding can push v a hair past 1, where arcsin has no value.
  const double u = y * rc.c + x * rc.s;
  const double v = std::clamp(y * rc.s - x * rc.c, -1.0, 1.0);
  const double lon = std::atan2(u, k);
  return {std::asin(v), lon};
}

bool RotationPositionsTooClose(const SemicirclePosition& start, const SemicirclePosition& end) {
  constexpr double kOneArcSecond = 3314.017975309;
  const double dlat = std::fabs(static_cast<double>(start.latitude) - end.latitude);
  const double dlon = std::fabs(static_cast<double>(start.longitude) - end.longitude);
  return dlat < kOneArcSecond && dlon < kOneArcSecond;
}

bool RotateTrackPoints(std::vector<TrackPoint>& points, const SemicirclePosition& start,
                       const SemicirclePosition& end) {
  const GeoPosition a = skylode::SemicirclesToRadians(start.latitude, start.longitude);
  const GeoPosition b = skylode::SemicirclesToRadians(end.latitude, end.longitude);
  const auto rc = ComputeRotation(a, b);
  if (!rc) return false;
  std::vector<TrackPoint> rotated = points;
  for (TrackPoint& p : rotated) {
    const GeoPosition r = RotatePosition(a, skylode::SemicirclesToRadians(p.latitude, p.longitude), *rc);
    // Beyond pi the longitude wraps onto the same meridian west of 180.
    const auto semi = RadiansToSemicircles(r);
    if (!semi) return false;
    p.latitude = semi->latitude;
    p.longitude = semi->longitude;
  }
  points = std::move(rotated);
  return true;
}

}  // namespace skylode
