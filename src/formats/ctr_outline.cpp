#include "formats/ctr_outline.h"

#include <cmath>
#include <numbers>

#include "analysis/geodesy.h"

namespace skylode {
namespace {

constexpr double kDegrees = 180.0 / std::numbers::pi;
constexpr double kMinimumGap = 100.0;  // metres between kept points

GeoPosition Radians(const LatLonDegrees& p) { return {p.latitude / kDegrees, p.longitude / kDegrees}; }

class Outline {
 public:
  bool Add(const GeoPosition& g) {
    if (!std::isfinite(g.latitude) || !std::isfinite(g.longitude)) return false;
    const LatLonDegrees p{g.latitude * kDegrees, g.longitude * kDegrees};
    if (points_.empty() || Gap(points_.back(), p) >= kMinimumGap) points_.push_back(p);
    return true;
  }
  void Close() {
    if (points_.size() > 1 && Gap(points_.back(), points_.front()) > kMinimumGap) points_.push_back(points_.front());
  }
  std::vector<LatLonDegrees> Take() { return std::move(points_); }

 private:
  static double Gap(const LatLonDegrees& a, const LatLonDegrees& b) {
    return GeoDistance(Radians(a), Radians(b)).metres;
  }
  std::vector<LatLonDegrees> points_;
};

// Steps from `start` through `sweep` (radians, sign gives the direction)
// around the centre, with the radius going from r0 to r1.
bool Arc(Outline& out, const UtmPosition& centre, double start, double sweep, double r0, double r1) {
  const int n = std::max(2, 1 + static_cast<int>(std::fabs(sweep) * kDegrees / 10));
  for (int k = 0; k <= n; ++k) {
    UtmPosition p = centre;
    const double angle = start + sweep * k / n;
    const double r = r0 + (r1 - r0) * k / n;
    p.easting += r * std::cos(angle);
    p.northing += r * std::sin(angle);
    if (!out.Add(FromUtm(p))) return false;
  }
  return true;
}

}  // namespace

Result<std::vector<LatLonDegrees>> ExpandCtrOutline(const CtrArea& area) {
  const Error bad = Error::Content("Program error");
  Outline out;
  if (area.segments.empty()) return bad;
  const CtrSegment& first = area.segments.front();
  const bool fullCircle = first.kind == CtrSegmentKind::kCircle ||
                          (first.kind == CtrSegmentKind::kArcByAngles && std::fabs(first.from.latitude) < 1e-6 &&
                           std::fabs(first.from.longitude - 360) < 1e-6);
  if (fullCircle) {
    UtmPosition c;
    ToUtm(Radians(first.centre), c);
    for (int k = 0; k <= 36; ++k) {
      UtmPosition p = c;
      p.easting += first.radius * std::cos(k * 10 / kDegrees);
      p.northing += first.radius * std::sin(k * 10 / kDegrees);
      const GeoPosition g = FromUtm(p);
      if (!std::isfinite(g.latitude)) return bad;
      // Every step is kept: the circle closes on its first point.
      out.Add(g);
    }
    std::vector<LatLonDegrees> points = out.Take();
    return points;
  }
  for (const CtrSegment& s : area.segments) {
    if (s.kind == CtrSegmentKind::kPoint) {
      if (!out.Add(Radians(s.centre))) return bad;
      continue;
    }
    UtmPosition c;
    ToUtm(Radians(s.centre), c);
    if (!std::isfinite(c.easting)) return bad;
    double start = 0, sweep = 0, r0 = s.radius, r1 = s.radius;
    const bool clockwise = s.direction == '+';
    if (s.kind == CtrSegmentKind::kArcByPoints) {
      UtmPosition a = c, b = c;
      a.zone = b.zone = c.zone;
      ToUtm(Radians(s.from), a);
      ToUtm(Radians(s.to), b);
      start = std::atan2(a.northing - c.northing, a.easting - c.easting);
      const double end = std::atan2(b.northing - c.northing, b.easting - c.easting);
      r0 = std::hypot(a.easting - c.easting, a.northing - c.northing);
      r1 = std::hypot(b.easting - c.easting, b.northing - c.northing);
      sweep = end - start;
      if (sweep < 0) sweep += 2 * std::numbers::pi;
      if (clockwise) sweep = 2 * std::numbers::pi - sweep;
    } else if (s.kind == CtrSegmentKind::kArcByAngles) {
      const auto angle = [](double bearing) { return (bearing >= 270 ? 450 - bearing : 90 - bearing) / kDegrees; };
      start = angle(s.from.latitude);
      double degrees = s.from.longitude - s.from.latitude;
      if (degrees < 0) degrees += 360;
      if (!clockwise) degrees = 360 - degrees;
      sweep = degrees / kDegrees;
    } else {
      start = 0;
      sweep = 2 * std::numbers::pi;
    }
    if (!Arc(out, c, start, clockwise ? -sweep : sweep, r0, r1)) return bad;
  }
  out.Close();
  return out.Take();
}

}  // namespace skylode
