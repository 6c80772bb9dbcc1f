#include "shell/flight_view/flight_view_model.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <thread>

#include "analysis/contest_score_text.h"
#include "analysis/geodesy.h"

namespace skylode {

namespace {

// Track point times count from 1989-12-31 00:00:00 UTC.
constexpr double kUnixSecondsAtTrackEpoch = 631065600.0;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

std::string Km(double kilometres) {
  char text[32];
  std::snprintf(text, sizeof text, "%.2f km", kilometres);
  return text;
}

}  // namespace

BarogramCurves BuildBarogramCurves(std::span<const TrackPoint> points, bool hasBaroHeight) {
  BarogramCurves c;
  const size_t n = points.size();
  c.seconds.resize(n);
  c.gpsHeight.resize(n);
  c.baroHeight.assign(n, kNaN);
  c.climb.assign(n, kNaN);
  c.speed.assign(n, kNaN);
  std::vector<double> along(n, 0);
  for (size_t i = 0; i < n; ++i) {
    const TrackPoint& p = points[i];
    c.seconds[i] = p.time + kUnixSecondsAtTrackEpoch;
    c.gpsHeight[i] = (p.flags & kTrackPointNoGpsHeight) != 0 ? kNaN : p.gpsHeight / 10.0;
    if (hasBaroHeight) c.baroHeight[i] = p.baroHeight;
    if (i > 0) {
      const TrackPoint& q = points[i - 1];
      along[i] = along[i - 1] + PlaneStepSemicircles(q.latitude, q.longitude, p.latitude, p.longitude).metres();
    }
  }
  const std::vector<double>& height = hasBaroHeight ? c.baroHeight : c.gpsHeight;
  // Each fix's rates over the fixes within half the window either side.
  const double half = kBarogramRateWindow / 2;
  size_t lo = 0;
  size_t hi = 0;
  for (size_t i = 0; i < n; ++i) {
    while (lo < i && c.seconds[lo] < c.seconds[i] - half) ++lo;
    if (hi < i) hi = i;
    while (hi + 1 < n && c.seconds[hi + 1] <= c.seconds[i] + half && c.seconds[hi + 1] >= c.seconds[hi]) ++hi;
    // The nearest fixes with a height inside the window.
    size_t a = lo;
    size_t b = hi;
    while (a < b && std::isnan(height[a])) ++a;
    while (b > a && std::isnan(height[b])) --b;
    double dt = c.seconds[b] - c.seconds[a];
    if (b > a && dt > 0) c.climb[i] = (height[b] - height[a]) / dt;
    dt = c.seconds[hi] - c.seconds[lo];
    if (hi > lo && dt > 0) c.speed[i] = (along[hi] - along[lo]) / dt * 3.6;
  }
  return c;
}

std::vector<int32_t> DecimateMinMax(std::span<const double> values, int32_t first, int32_t last, int32_t buckets) {
  std::vector<int32_t> out;
  first = std::max(first, 0);
  last = std::min(last, static_cast<int32_t>(values.size()) - 1);
  if (last < first || buckets < 1) return out;
  const int64_t n = int64_t{last} - first + 1;
  if (n <= 3 * int64_t{buckets}) {
    for (int32_t i = first; i <= last; ++i)
      if (!std::isnan(values[static_cast<size_t>(i)])) out.push_back(i);
    return out;
  }
  out.reserve(static_cast<size_t>(3 * buckets));
  for (int64_t b = 0; b < buckets; ++b) {
    const auto lo = static_cast<int32_t>(first + n * b / buckets);
    const auto hi = static_cast<int32_t>(first + n * (b + 1) / buckets - 1);
    int32_t firstValid = -1;
    int32_t least = -1;
    int32_t greatest = -1;
    for (int32_t i = lo; i <= hi; ++i) {
      const double v = values[static_cast<size_t>(i)];
      if (std::isnan(v)) continue;
      if (firstValid < 0) firstValid = least = greatest = i;
      if (v < values[static_cast<size_t>(least)]) least = i;
      if (v > values[static_cast<size_t>(greatest)]) greatest = i;
    }
    if (firstValid < 0) continue;
    int32_t picks[3] = {firstValid, least, greatest};
    std::sort(std::begin(picks), std::end(picks));
    for (int32_t p : picks)
      if (out.empty() || out.back() != p) out.push_back(p);
  }
  return out;
}

int32_t NearestFix(std::span<const double> seconds, double at) {
  if (seconds.empty()) return -1;
  const auto it = std::lower_bound(seconds.begin(), seconds.end(), at);
  if (it == seconds.begin()) return 0;
  if (it == seconds.end()) return static_cast<int32_t>(seconds.size() - 1);
  const auto after = static_cast<int32_t>(it - seconds.begin());
  return (*it - at) < (at - *(it - 1)) ? after : after - 1;
}

std::optional<ScoredRoute> TripRoute(std::span<const TrackPoint> points, const TripDistances& trips) {
  enum class Shape { kPath, kOutAndReturn, kTriangle };
  struct Kind {
    const char* name;
    const TripResult TripDistances::*result;
    int count;
    Shape shape;
  };
  static constexpr Kind kKinds[] = {
      {"open distance", &TripDistances::open, 2, Shape::kPath},
      {"distance over 3 points", &TripDistances::three, 3, Shape::kPath},
      {"distance over 4 points", &TripDistances::four, 4, Shape::kPath},
      {"distance over 5 points", &TripDistances::five, 5, Shape::kPath},
      {"out-and-return", &TripDistances::outAndReturn, 3, Shape::kOutAndReturn},
      {"flat triangle", &TripDistances::flatTriangle, 5, Shape::kTriangle},
      {"FAI triangle", &TripDistances::faiTriangle, 5, Shape::kTriangle},
  };
  const Kind* best = nullptr;
  for (const Kind& k : kKinds) {
    const double total = (trips.*k.result).total;
    // Ties go to the closed shape, which says more about the flight.
    if (total > 0 && (!best || total >= (trips.*best->result).total)) best = &k;
  }
  if (!best) return std::nullopt;
  const TripResult& r = trips.*best->result;
  const auto n = static_cast<int32_t>(points.size());
  for (int k = 0; k < best->count; ++k)
    if (r.index[static_cast<size_t>(k)] < 0 || r.index[static_cast<size_t>(k)] >= n) return std::nullopt;

  ScoredRoute route;
  route.title = std::string("Trip search: ") + best->name + " " + Km(r.total / 1000);
  auto index = [&r](int k) { return r.index[static_cast<size_t>(k)]; };
  for (int k = 0; k < best->count; ++k) {
    std::string label = k == 0 ? "start" : k + 1 == best->count ? "finish" : "TP" + std::to_string(k);
    route.turnpoints.push_back({index(k), std::move(label)});
  }
  switch (best->shape) {
    case Shape::kPath:
      for (int k = 0; k + 1 < best->count; ++k)
        route.legs.push_back({index(k), index(k + 1), r.legs[static_cast<size_t>(k)] / 1000});
      break;
    case Shape::kOutAndReturn:
      for (int k = 0; k + 1 < best->count; ++k)
        route.legs.push_back({index(k), index(k + 1), FixDistance(points, index(k), index(k + 1)) / 1000});
      break;
    case Shape::kTriangle:
      route.legs.push_back({index(1), index(2), r.legs[0] / 1000});
      route.legs.push_back({index(2), index(3), r.legs[1] / 1000});
      route.legs.push_back({index(3), index(1), r.legs[2] / 1000});
      route.closing = {index(0), index(4), r.legs[3] / 1000};
      break;
  }
  return route;
}

std::optional<ScoredRoute> ContestRoute(ContestRules rules, const ContestScore& score) {
  if (!score.found() || score.legs.empty()) return std::nullopt;
  ScoredRoute route;
  route.title = ContestSummary(rules, score);
  if (IsTriangle(score.type)) {
    route.turnpoints.push_back({score.closing.from, "start"});
    for (size_t k = 0; k < score.legs.size(); ++k)
      route.turnpoints.push_back({score.legs[k].from, "TP" + std::to_string(k + 1)});
    route.turnpoints.push_back({score.closing.to, "finish"});
    for (const ContestLeg& leg : score.legs) route.legs.push_back({leg.from, leg.to, leg.units / 100.0});
    route.closing = {score.closing.from, score.closing.to, score.closing.units / 100.0};
    return route;
  }
  // A turnpoint the scoring did not use repeats its neighbour: one mark.
  for (const ContestLeg& leg : score.legs) {
    if (leg.from == leg.to) continue;
    route.legs.push_back({leg.from, leg.to, leg.units / 100.0});
  }
  if (route.legs.empty()) return std::nullopt;
  route.turnpoints.push_back({route.legs.front().from, "start"});
  for (size_t k = 0; k + 1 < route.legs.size(); ++k)
    route.turnpoints.push_back({route.legs[k].to, "TP" + std::to_string(k + 1)});
  route.turnpoints.push_back({route.legs.back().to, "finish"});
  return route;
}

std::vector<ThermalPhase> FindThermals(std::span<const TrackPoint> points, bool hasBaroHeight) {
  std::vector<ThermalPhase> out;
  for (const Circling& c : FindCirclingPhases(points, hasBaroHeight)) {
    ThermalPhase t;
    t.first = c.first;
    t.last = c.last;
    t.meanClimb = c.climbKnown ? c.meanClimb : 0;
    out.push_back(t);
  }
  return out;
}

FlightViewModel::~FlightViewModel() { Stop(); }

void FlightViewModel::Stop() {
  // Both runners let a search that is slow to stop finish on its own copy.
  if (trip_) trip_->Stop(std::chrono::milliseconds(200));
  if (contests_) contests_->Cancel();
  trip_.reset();
  contests_.reset();
}

void FlightViewModel::Clear() {
  Stop();
  loaded_ = false;
  points_.clear();
  hasBaro_ = false;
  curves_ = {};
  thermals_.clear();
  tripRoute_.reset();
  contestRoutes_.clear();
  tripTaken_ = contestsTaken_ = false;
  overlays_ = {};
}

bool FlightViewModel::Load(const TrackLog& log, const FlightViewOptions& options) {
  if (loaded_ && log.points == points_ && log.hasBaroHeight == hasBaro_) return false;
  Clear();
  loaded_ = true;
  points_ = log.points;
  hasBaro_ = log.hasBaroHeight;
  curves_ = BuildBarogramCurves(points_, hasBaro_);
  thermals_ = FindThermals(points_, hasBaro_);
  Rebuild();
  if (points_.size() < 2) {
    tripTaken_ = contestsTaken_ = true;
    return true;
  }
  TripSearchOptions search;
  search.loopFlightGap = options.loopFlightGap;
  search.threads = 1;  // the window stays responsive beside it
  trip_ = std::make_unique<TripSearchRunner>();
  trip_->Start(points_, search);
  if (options.scoreContests) {
    contests_ = std::make_unique<ContestScoreRunner>();
    contests_->Start(points_, options.contestSeconds);
  } else {
    contestsTaken_ = true;
  }
  return true;
}

void FlightViewModel::Rebuild() {
  overlays_.routes.clear();
  if (tripRoute_) overlays_.routes.push_back(*tripRoute_);
  for (const ScoredRoute& r : contestRoutes_) overlays_.routes.push_back(r);
  overlays_.thermals = thermals_;
}

bool FlightViewModel::TripEnded() const { return !trip_ || trip_->Finished(); }

// A scoring that could not run says so in its summaries: it has ended too.
bool FlightViewModel::ContestsEnded() const { return !contests_ || contests_->Summaries().has_value(); }

bool FlightViewModel::Poll() {
  bool changed = false;
  if (!tripTaken_ && trip_ && trip_->Finished()) {
    tripTaken_ = true;
    const auto outcome = trip_->Result();
    if (outcome && outcome->status == 0 && !outcome->halted) {
      tripRoute_ = TripRoute(points_, outcome->distances);
      changed = tripRoute_.has_value();
    }
  }
  if (!contestsTaken_ && ContestsEnded()) {
    contestsTaken_ = true;
    if (const auto scores = contests_->Result()) {
      for (ContestRules r : kContestRules)
        if (auto route = ContestRoute(r, (*scores)[r])) contestRoutes_.push_back(std::move(*route));
      changed = changed || !contestRoutes_.empty();
    }
  }
  if (changed) Rebuild();
  return changed;
}

bool FlightViewModel::Busy() const { return !tripTaken_ || !contestsTaken_; }

bool FlightViewModel::WaitFor(std::chrono::milliseconds timeout, bool contests) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  auto ended = [&] { return TripEnded() && (!contests || ContestsEnded()); };
  while (!ended() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  Poll();
  return ended();
}

}  // namespace skylode
