// What the flight view shows of the loaded track log, built without any
// window: the barogram's curves, the thermals, and the routes the trip search
// and the contest scoring find. The searches run on a thread of their own
// and may take seconds; the view polls for them.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "analysis/contest_score.h"
#include "analysis/contest_score_runner.h"
#include "analysis/thermals.h"
#include "analysis/trip_search.h"
#include "analysis/trip_search_runner.h"
#include "records/track_log.h"
#include "shell/flight_view/flight_view_data.h"

namespace skylode {

// One value per fix; NaN where the fix has none (a GPS height not measured,
// no pressure sensor, the first fix's climb).
struct BarogramCurves {
  std::vector<double> seconds;  // time of each fix, seconds since the Unix epoch
  std::vector<double> gpsHeight;   // metres
  std::vector<double> baroHeight;  // metres
  std::vector<double> climb;       // m/s
  std::vector<double> speed;       // km/h over the ground
};

// Rates are taken over this many seconds around each fix: a second's step
// of a GPS height is mostly noise.
inline constexpr double kBarogramRateWindow = 10.0;

BarogramCurves BuildBarogramCurves(std::span<const TrackPoint> points, bool hasBaroHeight);

// The fixes to draw of `values[first..last]` in `buckets` buckets: in each
// bucket its first fix, its least and its greatest value, in time order, so a
// one-fix spike survives however far the curve is squeezed. Fixes whose
// value is NaN are never chosen. Ascending, without repeats. For drawing
// only: an analysis always reads every fix.
std::vector<int32_t> DecimateMinMax(std::span<const double> values, int32_t first, int32_t last, int32_t buckets);

// The fix nearest in time to `seconds` (Unix epoch); -1 for no fixes.
int32_t NearestFix(std::span<const double> seconds, double at);

// The trip search's best result as a route: its greatest score of the
// seven, with a triangle's closing; nothing when the track gave no distance.
std::optional<ScoredRoute> TripRoute(std::span<const TrackPoint> points, const TripDistances& trips);

// A rule set's best scoring as a route, titled as the statistics show it;
// nothing when nothing scored.
std::optional<ScoredRoute> ContestRoute(ContestRules rules, const ContestScore& score);

std::vector<ThermalPhase> FindThermals(std::span<const TrackPoint> points, bool hasBaroHeight);

struct FlightViewOptions {
  uint32_t loopFlightGap = 800;      // metres, as the trip search takes it
  double contestSeconds = kWindowContestSeconds;  // the contest scoring's time limit
  bool scoreContests = true;
};

class FlightViewModel {
 public:
  FlightViewModel() = default;
  ~FlightViewModel();
  FlightViewModel(const FlightViewModel&) = delete;
  FlightViewModel& operator=(const FlightViewModel&) = delete;

  // Takes the log (its own copy) and starts the searches. False, with
  // nothing redone, when the points are those already shown.
  bool Load(const TrackLog& log, const FlightViewOptions& options);
  void Clear();

  const std::vector<TrackPoint>& points() const { return points_; }
  bool hasBaroHeight() const { return hasBaro_; }
  const BarogramCurves& curves() const { return curves_; }
  // The thermals at once; the routes as the searches deliver them (trip
  // search first, then one per rule set).
  const FlightOverlays& overlays() const { return overlays_; }

  // Takes what the searches finished since the last call; true when the
  // overlays changed. Call on the thread that reads the overlays.
  bool Poll();
  // Whether a search still runs (or its result waits for Poll).
  bool Busy() const;
  // Waits at most `timeout` for the trip search (and, with `contests`, the
  // scoring too), then polls.
  bool WaitFor(std::chrono::milliseconds timeout, bool contests);

 private:
  void Stop();
  void Rebuild();
  bool TripEnded() const;
  bool ContestsEnded() const;

  std::vector<TrackPoint> points_;
  bool hasBaro_ = false;
  BarogramCurves curves_;
  FlightOverlays overlays_;
  std::vector<ThermalPhase> thermals_;
  std::optional<ScoredRoute> tripRoute_;
  std::vector<ScoredRoute> contestRoutes_;
  bool loaded_ = false;
  bool tripTaken_ = false;
  bool contestsTaken_ = false;
  std::unique_ptr<TripSearchRunner> trip_;
  std::unique_ptr<ContestScoreRunner> contests_;
};

}  // namespace skylode
