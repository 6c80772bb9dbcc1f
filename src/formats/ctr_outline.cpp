#include "formats/ctr_outline.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>

#include "analysis/geodesy.h"

namespace skylode {
namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDegrees = 180.0 / kPi;
constexpr double kMinimumGap = 100.0;  // metres between kept points

GeoPosition Radians(const LatLonDegrees& p) { return {p.latitude / kDegrees, p.longitude / kDegrees}; }

bool Finite(const GeoPosition& g) { return std::isfinite(g.latitude) && std::isfinite(g.longitude); }

class Outline {
 public:
  bool Add(const GeoPosition& g) {
    if (!Finite(g)) return false;
    const LatLonDegrees p{g.latitude * kDegrees, g.longitude * kDegrees};
    if (points_.empty() || Gap(points_.back(), p) >= kMinimumGap) points_.push_back(p);
    return true;
  }
  bool Keep(const GeoPosition& g) {
    if (!Finite(g)) return false;
    points_.push_back({g.latitude * kDegrees, g.longitude * kDegrees});
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

// Azimuth (radians clockwise from north) from `centre` to `p`, read in a
// transverse Mercator about the centre's own meridian: conformal, and with
// no grid convergence on that meridian, so the angle at the centre is true.
double AzimuthFrom(const GeoPosition& centre, const GeoPosition& p) {
  const LocalTm c = ToLocalTm(centre, centre.longitude);
  const LocalTm q = ToLocalTm(p, centre.longitude);
  return std::atan2(q.x - c.x, q.y - c.y);
}

int Steps(double sweepRadians) { return std::max(2, 1 + static_cast<int>(std::fabs(sweepRadians) * kDegrees / 10)); }

// Steps from the mathematical angle `start` through `sweep` (negative is
// clockwise) with the distance from the centre going from r0 to r1.
// `first`/`last`, when given, are the arc's own end points.
bool Arc(Outline& out, const GeoPosition& centre, double start, double sweep, double r0, double r1,
         const std::optional<GeoPosition>& first = {}, const std::optional<GeoPosition>& last = {}) {
  const int n = Steps(sweep);
  for (int k = 0; k <= n; ++k) {
    GeoPosition p;
    if (k == 0 && first) {
      p = *first;
    } else if (k == n && last) {
      p = *last;
    } else {
      const double angle = start + sweep * k / n;
      p = GeoDestination(centre, kPi / 2 - angle, r0 + (r1 - r0) * k / n);
    }
    if (!out.Add(p)) return false;
  }
  return true;
}

// Bearing in degrees to the mathematical angle in radians.
double MathAngle(double bearing) { return (bearing >= 270 ? 450 - bearing : 90 - bearing) / kDegrees; }

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
    const GeoPosition c = Radians(first.centre);
    // All 37 steps are kept: the circle closes on its first point.
    for (int k = 0; k <= 36; ++k)
      if (!out.Keep(GeoDestination(c, kPi / 2 - k * 10 / kDegrees, first.radius))) return bad;
    return out.Take();
  }
  for (const CtrSegment& s : area.segments) {
    const GeoPosition c = Radians(s.centre);
    if (!Finite(c)) return bad;
    const bool clockwise = s.direction == '+';
    switch (s.kind) {
      case CtrSegmentKind::kPoint:
        if (!out.Add(c)) return bad;
        break;
      case CtrSegmentKind::kArcByPoints: {
        const GeoPosition a = Radians(s.from), b = Radians(s.to);
        if (!Finite(a) || !Finite(b)) return bad;
        const double start = kPi / 2 - AzimuthFrom(c, a);
        double sweep = (kPi / 2 - AzimuthFrom(c, b)) - start;
        while (sweep < 0) sweep += 2 * kPi;
        while (sweep >= 2 * kPi) sweep -= 2 * kPi;
        if (clockwise) sweep = 2 * kPi - sweep;
        const double r0 = GeoDistance(c, a).metres, r1 = GeoDistance(c, b).metres;
        if (!Arc(out, c, start, clockwise ? -sweep : sweep, r0, r1, a, b)) return bad;
        break;
      }
      case CtrSegmentKind::kArcByAngles: {
        double degrees = s.from.longitude - s.from.latitude;
        if (degrees < 0) degrees += 360;
        if (!clockwise) degrees = 360 - degrees;
        const double sweep = degrees / kDegrees;
        if (!Arc(out, c, MathAngle(s.from.latitude), clockwise ? -sweep : sweep, s.radius, s.radius)) return bad;
        break;
      }
      case CtrSegmentKind::kCircle:
        if (!Arc(out, c, 0, clockwise ? -2 * kPi : 2 * kPi, s.radius, s.radius)) return bad;
        break;
    }
  }
  out.Close();
  return out.Take();
}

std::optional<std::string> CtrWaypointId(int area, int point) {
  // `width` characters for `value`: base 26 in letters, then a digit and
  // base 36 (letters and digits) for what lies beyond.
  const auto field = [](int value, int width) -> std::optional<std::string> {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    int letters = 1, mixed = 10;
    for (int k = 0; k < width; ++k) letters *= 26;
    for (int k = 1; k < width; ++k) mixed *= 36;
    if (value < 0 || value >= letters + mixed) return std::nullopt;
    std::string s(static_cast<size_t>(width), 'A');
    if (value < letters) {
      for (int k = width - 1; k >= 0; --k, value /= 26) s[static_cast<size_t>(k)] = kAlphabet[value % 26];
      return s;
    }
    value -= letters;
    for (int k = width - 1; k >= 1; --k, value /= 36) s[static_cast<size_t>(k)] = kAlphabet[value % 36];
    s[0] = static_cast<char>('0' + value);
    return s;
  };
  const std::optional<std::string> a = field(area % 1036, 2);
  const std::optional<std::string> p = field(point, 3);
  if (!a || !p) return std::nullopt;
  return "C" + *a + *p;
}

Result<std::vector<Waypoint>> ExpandCtrToWaypoints(const CtrArea& area, int areaNumber, uint32_t now) {
  Result<std::vector<LatLonDegrees>> outline = ExpandCtrOutline(area);
  if (!outline.ok()) return outline.error();
  std::vector<Waypoint> points;
  points.reserve(outline->size());
  const std::string name = NormaliseDescription(area.name);
  for (const LatLonDegrees& p : *outline) {
    const std::optional<SemicirclePosition> s = RadiansToSemicircles(Radians(p));
    std::optional<std::string> id = CtrWaypointId(areaNumber, static_cast<int>(points.size()));
    if (!s || !id) return Error::Content("Program error");
    Waypoint w;
    w.latitude = s->latitude;
    w.longitude = s->longitude;
    w.id = std::move(*id);
    w.name = name;
    w.time = now;
    w.symbol = kDefaultWaypointSymbol;
    points.push_back(std::move(w));
  }
  return points;
}

}  // namespace skylode
