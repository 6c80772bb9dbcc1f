// Cheap bounds on ellipsoidal distances for searches that must never miss the
// best answer: positions as earth-centred cartesian points, boxes around
// groups of them, and the straight chord between boxes turned into a distance
// along the ellipsoid that is surely no less (or no more) than what
// GeoDistance gives for any two points of the boxes.
#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>

#include "analysis/geodesy.h"

namespace skylode {

struct EcefPoint {
  double x = 0, y = 0, z = 0;
};

// On the ellipsoid's surface (height 0): distances along the surface do not
// depend on the heights flown.
EcefPoint ToEcef(const GeoPosition& geo);

// An axis-aligned box around earth-centred points; empty until the first Add.
struct EcefBox {
  double lo[3] = {HUGE_VAL, HUGE_VAL, HUGE_VAL};
  double hi[3] = {-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};

  void Add(const EcefPoint& p) {
    const double v[3] = {p.x, p.y, p.z};
    for (int a = 0; a < 3; ++a) {
      lo[a] = std::min(lo[a], v[a]);
      hi[a] = std::max(hi[a], v[a]);
    }
  }
  void Add(const EcefBox& b) {
    for (int a = 0; a < 3; ++a) {
      lo[a] = std::min(lo[a], b.lo[a]);
      hi[a] = std::max(hi[a], b.hi[a]);
    }
  }
  static EcefBox Of(const EcefPoint& p) {
    EcefBox b;
    b.Add(p);
    return b;
  }
};

// Greatest and least straight-line distance (metres) between any point of
// one box and any point of the other.
inline double MaxChord(const EcefBox& a, const EcefBox& b) {
  double s = 0;
  for (int k = 0; k < 3; ++k) {
    const double d = std::max(a.hi[k] - b.lo[k], b.hi[k] - a.lo[k]);
    s += d * d;
  }
  return std::sqrt(s);
}
inline double MinChord(const EcefBox& a, const EcefBox& b) {
  double s = 0;
  for (int k = 0; k < 3; ++k) {
    const double d = std::max({0.0, a.lo[k] - b.hi[k], b.lo[k] - a.hi[k]});
    s += d * d;
  }
  return std::sqrt(s);
}

// A geodesic is a curve on the surface whose curvature never exceeds the
// surface's greatest normal curvature, 1 / (a (1 - e^2)) at the equator; a
// curve so bent spans at least the chord of a circle of that radius (Schur's
// comparison), so the geodesic is at most that circle's arc over the chord.
// The margins cover the last bits of GeoDistance's iteration.
double GeodesicUpperFromChord(double chordMetres);
// The chord is the shortest way between two points, so no geodesic is shorter.
inline double GeodesicLowerFromChord(double chordMetres) { return std::max(0.0, chordMetres - 0.01); }

}  // namespace skylode
