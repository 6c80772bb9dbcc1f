#include "sim/flytec/demo_flights.h"

#include <cmath>
#include <numbers>

#include "records/angles.h"
#include "records/calendar.h"

namespace skylode::sim {
namespace {

// Col de la Forclaz take-off and the Doussard landing field.
constexpr double kTakeOffLat = 45.8129, kTakeOffLon = 6.2459, kTakeOffAlt = 1250;
constexpr double kLandingLat = 45.7800, kLandingLon = 6.2218, kLandingAlt = 460;
constexpr double kMetresPerDegree = 111320;

// Thermal spots along the east shore: Montmin ridge, Roc des Boeufs, Dents
// de Lanfon, La Tournette's shoulder.
constexpr double kSpots[][2] = {
    {45.8057, 6.2727}, {45.8291, 6.2391}, {45.8710, 6.2150}, {45.8405, 6.2960}, {45.7955, 6.2480},
};

class Rng {
 public:
  explicit Rng(uint64_t seed) : s_(seed * 6364136223846793005ull + 1442695040888963407ull) {}
  double Uniform() {  // [0, 1)
    s_ = s_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(s_ >> 11) / 9007199254740992.0;
  }
  double Between(double lo, double hi) { return lo + (hi - lo) * Uniform(); }

 private:
  uint64_t s_;
};

struct Glider {
  double x = 0, y = 0;  // metres east and north of take-off
  double alt = kTakeOffAlt;
  double heading = 4.2;  // radians from north, out over the lake
  uint32_t time = 0;
  std::vector<TrackPoint> points;
  Rng* rng = nullptr;

  void Fix() {
    const double cosLat = std::cos(kTakeOffLat * std::numbers::pi / 180);
    TrackPoint p;
    p.time = time;
    p.latitude = DegreesToLatitude(kTakeOffLat + y / kMetresPerDegree).value_or(0);
    p.longitude = DegreesToLongitude(kTakeOffLon + x / (kMetresPerDegree * cosLat)).value_or(0);
    const int32_t metres = static_cast<int32_t>(std::lround(alt));
    p.gpsHeight = metres * 10;
    // The baro sensor reads a little off and lags the GPS by a breath.
    p.baroHeight = static_cast<int32_t>(std::lround(alt - 12 + rng->Between(-1.5, 1.5)));
    points.push_back(p);
  }

  // One second of flight at `speed` towards `heading`, with `vario` m/s and
  // the valley wind drifting everything east-north-east.
  void Step(double speed, double vario) {
    x += speed * std::sin(heading) + 1.8;
    y += speed * std::cos(heading) + 0.6;
    alt += vario + rng->Between(-0.25, 0.25);
    ++time;
    Fix();
  }

  double BearingTo(double tx, double ty) const { return std::atan2(tx - x, ty - y); }
  double DistanceTo(double tx, double ty) const { return std::hypot(tx - x, ty - y); }

  void GlideTo(double tx, double ty, double floor) {
    for (int guard = 0; guard < 20000 && DistanceTo(tx, ty) > 60 && alt > floor; ++guard) {
      heading = BearingTo(tx, ty) + rng->Between(-0.05, 0.05);
      Step(10.5 + rng->Between(-0.8, 0.8), -1.15 + rng->Between(-0.3, 0.3));
    }
  }

  void Climb(double top, double strength) {
    const double turnRate = 2 * std::numbers::pi / rng->Between(22, 28);
    for (int guard = 0; guard < 20000 && alt < top; ++guard) {
      heading += turnRate;
      // Stronger near the core of the turn, weaker on its far side.
      const double vario = strength * (0.75 + 0.35 * std::sin(heading)) + rng->Between(-0.4, 0.4);
      Step(8.5, vario);
    }
  }
};

double ToX(double lon) { return (lon - kTakeOffLon) * kMetresPerDegree * std::cos(kTakeOffLat * std::numbers::pi / 180); }
double ToY(double lat) { return (lat - kTakeOffLat) * kMetresPerDegree; }

}  // namespace

SimFlight MakeThermalFlight(const ThermalFlightPlan& plan) {
  Rng rng(plan.seed);
  Glider g;
  g.rng = &rng;
  g.time = plan.takeOffTime;
  g.Fix();
  // A few seconds of ground handling and the run.
  for (int i = 0; i < 8; ++i) g.Step(i < 4 ? 0.0 : 3.0 * (i - 3), 0);
  const int spots = static_cast<int>(std::size(kSpots));
  for (int i = 0; i < plan.thermals; ++i) {
    const auto& spot = kSpots[(plan.seed + i) % spots];
    g.GlideTo(ToX(spot[1]) + rng.Between(-300, 300), ToY(spot[0]) + rng.Between(-300, 300), 900);
    g.Climb(rng.Between(2100, 2600), rng.Between(1.6, 3.2));
  }
  const double lx = ToX(kLandingLon), ly = ToY(kLandingLat);
  g.GlideTo(lx, ly, kLandingAlt + 150);
  // Lose the rest of the height in wide turns over the field, then land.
  for (int guard = 0; guard < 20000 && g.alt > kLandingAlt + 5; ++guard) {
    g.heading += 2 * std::numbers::pi / 40;
    g.Step(9.0, -2.2);
  }
  for (int i = 0; i < 30; ++i) g.Step(i < 6 ? 6.0 - i : 0.0, (kLandingAlt - g.alt) / 2);

  SimFlight flight;
  flight.points = std::move(g.points);
  flight.points.front().flags = kTrackPointStartsSegment;
  return flight;
}

FlytecSimConfig DemoConfig() {
  FlytecSimConfig config;
  const struct {
    uint16_t month, day, hour, minute;
    int thermals;
  } days[] = {{8, 2, 11, 40, 5}, {7, 11, 12, 5, 4}, {7, 4, 13, 20, 3}};  // newest first
  uint64_t seed = 7;
  for (const auto& d : days) {
    ThermalFlightPlan plan;
    plan.takeOffTime = CalendarToTime({2026, d.month, d.day, d.hour, d.minute, 0, 0}).value_or(0);
    plan.seed = seed++;
    plan.thermals = d.thermals;
    SimFlight f = MakeThermalFlight(plan);
    f.loggerId = "S01";
    config.flights.push_back(std::move(f));
  }
  config.waypoints = {
      {45.8129, 6.2459, "FORCLA", "Forclaz deco", 1250},
      {45.7800, 6.2218, "DOUSSA", "Doussard atterro", 460},
      {45.8291, 6.2391, "", "Planfait deco", 1180},
      {45.8057, 6.2727, "MONTMI", "Col de Forclaz Montmin", 1150},
      {45.8405, 6.2960, "TOURNE", "La Tournette", 2351},
      {45.8710, 6.2150, "LANFON", "Dents de Lanfon", 1824},
  };
  return config;
}

}  // namespace skylode::sim
