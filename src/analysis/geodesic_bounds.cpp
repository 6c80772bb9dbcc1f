#include "analysis/geodesic_bounds.h"

namespace skylode {
namespace {

constexpr double kE2 = kWgs84F * (2 - kWgs84F);
// Smallest radius of curvature anywhere on the ellipsoid: the meridian's at the equator.
constexpr double kLeastRadius = kWgs84A * (1 - kE2);

}  // namespace

EcefPoint ToEcef(const GeoPosition& geo) {
  const double s = std::sin(geo.latitude), c = std::cos(geo.latitude);
  const double n = kWgs84A / std::sqrt(1 - kE2 * s * s);
  return {n * c * std::cos(geo.longitude), n * c * std::sin(geo.longitude), n * (1 - kE2) * s};
}

double GeodesicUpperFromChord(double chordMetres) {
  const double half = chordMetres / (2 * kLeastRadius);
  // Past half the globe the comparison no longer holds; nothing on a flight
  // comes near, and the half meridian is then an honest ceiling.
  const double arc = half >= 1 ? std::numbers::pi * kWgs84A : 2 * kLeastRadius * std::asin(half);
  return arc * (1 + 1e-9) + 0.01;
}

}  // namespace skylode
