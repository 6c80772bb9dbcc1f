#include "analysis/contest_score.h"

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <memory>
#include <queue>
#include <thread>
#include <unordered_map>

#include "analysis/geodesic_bounds.h"
#include "analysis/geodesy.h"

namespace skylode {
namespace {

// --- the flight cut -------------------------------------------------------

constexpr uint32_t kCutHalfWindow = 15;   // seconds either side of a fix
constexpr double kMovingSpeed = 4.5;      // m/s along the path: faster than walking
constexpr double kMovingClimb = 1.0;      // m/s up or down: more than a walk up a slope
constexpr uint32_t kLongestPause = 180;   // seconds of standing that end a flight

double HeightMetres(const TrackPoint& p) {
  // GPS height unless the fix says it was not measured.
  return (p.flags & 2u) != 0 ? static_cast<double>(p.baroHeight) : p.gpsHeight / 10.0;
}

GeoPosition Geo(const TrackPoint& p) { return SemicirclesToRadians(p.latitude, p.longitude); }

// --- the scored fixes and their boxes -------------------------------------

struct Fixes {
  std::vector<int32_t> original;  // index into the caller's track
  std::vector<GeoPosition> geo;
  int32_t n = 0;
  int32_t leaves = 1;              // n rounded up to a power of two
  std::vector<EcefBox> node;       // heap order: root 1, children 2k and 2k+1, fix i at leaves + i
  std::vector<EcefBox> prefix;     // box of fixes 0..i
  std::vector<EcefBox> suffix;     // box of fixes i..n-1

  int32_t Lo(int32_t k) const {
    const int depth = std::bit_width(static_cast<uint32_t>(k)) - 1;
    const int32_t span = leaves >> depth;
    return (k - (1 << depth)) * span;
  }
  int32_t Hi(int32_t k) const {
    const int depth = std::bit_width(static_cast<uint32_t>(k)) - 1;
    const int32_t span = leaves >> depth;
    return std::min((k - (1 << depth)) * span + span - 1, n - 1);
  }
  bool IsLeaf(int32_t k) const { return k >= leaves; }
  bool Empty(int32_t k) const { return Lo(k) >= n; }
  int32_t Leaf(int32_t i) const { return leaves + i; }

  int64_t Leg(int32_t i, int32_t j) const {
    if (i == j) return 0;
    const GeoDistanceResult r = GeoDistance(geo[static_cast<size_t>(i)], geo[static_cast<size_t>(j)]);
    return r.status == 0 ? std::llround(r.metres / 10.0) : 0;
  }
};

int64_t UpperUnits(const EcefBox& a, const EcefBox& b) {
  return std::llround(GeodesicUpperFromChord(MaxChord(a, b)) / 10.0);
}
int64_t LowerUnits(const EcefBox& a, const EcefBox& b) {
  return std::llround(GeodesicLowerFromChord(MinChord(a, b)) / 10.0);
}

// The greatest distance from any point of `b` to a fix in lo..hi, over the
// few boxes that cover the range exactly: far tighter than one box around it.
int64_t UpperToRange(const Fixes& f, const EcefBox& b, int32_t lo, int32_t hi) {
  int64_t best = 0;
  for (int32_t l = lo + f.leaves, r = hi + f.leaves + 1; l < r; l >>= 1, r >>= 1) {
    if ((l & 1) != 0) best = std::max(best, UpperUnits(b, f.node[static_cast<size_t>(l++)]));
    if ((r & 1) != 0) best = std::max(best, UpperUnits(b, f.node[static_cast<size_t>(--r)]));
  }
  return best;
}

Fixes PrepareFixes(std::span<const TrackPoint> points, FlightCut cut) {
  Fixes f;
  for (int32_t i = cut.takeOff; i <= cut.landing; ++i) {
    // A fix that repeats the previous fix's time is no new fix.
    if (i > 0 && points[static_cast<size_t>(i)].time == points[static_cast<size_t>(i) - 1].time &&
        !f.original.empty())
      continue;
    f.original.push_back(i);
    f.geo.push_back(Geo(points[static_cast<size_t>(i)]));
  }
  f.n = static_cast<int32_t>(f.original.size());
  if (f.n == 0) return f;
  f.leaves = static_cast<int32_t>(std::bit_ceil(static_cast<uint32_t>(f.n)));
  f.node.assign(static_cast<size_t>(2 * f.leaves), EcefBox{});
  for (int32_t i = 0; i < f.n; ++i) f.node[static_cast<size_t>(f.leaves + i)] = EcefBox::Of(ToEcef(f.geo[static_cast<size_t>(i)]));
  for (int32_t k = f.leaves - 1; k >= 1; --k) {
    f.node[static_cast<size_t>(k)] = f.node[static_cast<size_t>(2 * k)];
    f.node[static_cast<size_t>(k)].Add(f.node[static_cast<size_t>(2 * k + 1)]);
  }
  f.prefix.resize(static_cast<size_t>(f.n));
  f.suffix.resize(static_cast<size_t>(f.n));
  for (int32_t i = 0; i < f.n; ++i) {
    f.prefix[static_cast<size_t>(i)] = f.node[static_cast<size_t>(f.leaves + i)];
    if (i > 0) f.prefix[static_cast<size_t>(i)].Add(f.prefix[static_cast<size_t>(i) - 1]);
  }
  for (int32_t i = f.n - 1; i >= 0; --i) {
    f.suffix[static_cast<size_t>(i)] = f.node[static_cast<size_t>(f.leaves + i)];
    if (i + 1 < f.n) f.suffix[static_cast<size_t>(i)].Add(f.suffix[static_cast<size_t>(i) + 1]);
  }
  return f;
}

// --- small searches inside one candidate ----------------------------------

struct Farthest {
  int64_t units = -1;
  int32_t index = -1;
};

// The fix in lo..hi farthest from fix t.
Farthest FarthestFrom(const Fixes& f, int32_t t, int32_t lo, int32_t hi, std::vector<int32_t>& stack) {
  Farthest best;
  const EcefBox& at = f.node[static_cast<size_t>(f.Leaf(t))];
  stack.clear();
  stack.push_back(1);
  while (!stack.empty()) {
    const int32_t k = stack.back();
    stack.pop_back();
    if (f.Lo(k) > hi || f.Hi(k) < lo || f.Empty(k)) continue;
    if (f.IsLeaf(k)) {
      const int32_t i = k - f.leaves;
      const int64_t u = f.Leg(t, i);
      if (u > best.units) best = {u, i};
      continue;
    }
    if (UpperUnits(at, f.node[static_cast<size_t>(k)]) <= best.units) continue;
    const int32_t a = 2 * k, b = 2 * k + 1;
    // The nearer child waits: the farther one more likely raises the best first.
    const bool aFirst = MaxChord(at, f.node[static_cast<size_t>(a)]) >= MaxChord(at, f.node[static_cast<size_t>(b)]);
    stack.push_back(aFirst ? b : a);
    stack.push_back(aFirst ? a : b);
  }
  return best;
}

struct Gap {
  int64_t units = -1;  // -1: none below the limit
  int32_t start = -1, end = -1;
};

struct ChordGap {
  double metres = HUGE_VAL;
  int32_t start = -1, end = -1;
};

// Below this chord no leg can round to more than 0.
constexpr double kZeroChord = 4.9;

// The pair of a fix up to t1 and a fix from t3 on that are nearest, by
// `distance` on two fixes, below `limit`; pairs of boxes whose least chord is
// no shorter than the best found are passed over. `zero` ends the search.
template <typename Distance, typename Value>
std::pair<Value, std::pair<int32_t, int32_t>> NearestPair(const Fixes& f, int32_t t1, int32_t t3, Value limit,
                                                          Value zero, Distance distance, auto lowerOfBoxes,
                                                          std::vector<std::pair<int32_t, int32_t>>& stack) {
  Value best = limit;
  std::pair<int32_t, int32_t> at{-1, -1};
  stack.clear();
  stack.emplace_back(1, 1);
  while (!stack.empty()) {
    const auto [a, b] = stack.back();
    stack.pop_back();
    if (f.Empty(a) || f.Empty(b) || f.Lo(a) > t1 || f.Hi(b) < t3) continue;
    if (f.IsLeaf(a) && f.IsLeaf(b)) {
      const Value d = distance(a - f.leaves, b - f.leaves);
      if (d < best) {
        best = d;
        at = {a - f.leaves, b - f.leaves};
        if (d <= zero) break;
      }
      continue;
    }
    if (lowerOfBoxes(f.node[static_cast<size_t>(a)], f.node[static_cast<size_t>(b)]) >= best) continue;
    // Split the wider of the two; the nearer child pair is looked at first.
    const bool splitA = !f.IsLeaf(a) && (f.IsLeaf(b) || f.Hi(a) - f.Lo(a) >= f.Hi(b) - f.Lo(b));
    std::pair<int32_t, int32_t> c0 = splitA ? std::pair{2 * a, b} : std::pair{a, 2 * b};
    std::pair<int32_t, int32_t> c1 = splitA ? std::pair{2 * a + 1, b} : std::pair{a, 2 * b + 1};
    const double d0 = MinChord(f.node[static_cast<size_t>(c0.first)], f.node[static_cast<size_t>(c0.second)]);
    const double d1 = MinChord(f.node[static_cast<size_t>(c1.first)], f.node[static_cast<size_t>(c1.second)]);
    if (d0 < d1) std::swap(c0, c1);
    stack.push_back(c0);
    stack.push_back(c1);
  }
  return {best, at};
}

ChordGap LeastChordGap(const Fixes& f, int32_t t1, int32_t t3, std::vector<std::pair<int32_t, int32_t>>& stack) {
  const auto [metres, at] = NearestPair(
      f, t1, t3, HUGE_VAL, kZeroChord,
      [&](int32_t i, int32_t j) {
        return MinChord(f.node[static_cast<size_t>(f.Leaf(i))], f.node[static_cast<size_t>(f.Leaf(j))]);
      },
      [](const EcefBox& a, const EcefBox& b) { return MinChord(a, b); }, stack);
  return {metres, at.first, at.second};
}

// The least gap in rounded legs, when it is below `limit`.
Gap ClosingGap(const Fixes& f, int32_t t1, int32_t t3, int64_t limit, std::vector<std::pair<int32_t, int32_t>>& stack) {
  const auto [units, at] = NearestPair(
      f, t1, t3, limit, int64_t{0}, [&](int32_t i, int32_t j) { return f.Leg(i, j); },
      [](const EcefBox& a, const EcefBox& b) { return LowerUnits(a, b); }, stack);
  if (at.first < 0) return {};
  return {units, at.first, at.second};
}

// --- the rules --------------------------------------------------------------

enum class Shape { kDistance, kFlat, kFai };

struct Verdict {
  ContestType type = ContestType::kNone;
  int64_t distance = 0;
  int64_t score = -1;
};

// What a triangle of perimeter `p` closed with gap `g` scores under the rules
// (kNone when the gap is too wide).
Verdict JudgeTriangle(ContestRules rules, Shape shape, int64_t p, int64_t g) {
  const bool fai = shape == Shape::kFai;
  if (rules == ContestRules::kXContest) {
    if (100 * g > 20 * p) return {};
    const bool closed = 100 * g <= 5 * p;
    const ContestType type = fai ? (closed ? ContestType::kClosedFaiTriangle : ContestType::kFaiTriangle)
                                 : (closed ? ContestType::kClosedFreeTriangle : ContestType::kFreeTriangle);
    const int tenths = fai ? (closed ? 16 : 14) : (closed ? 14 : 12);
    return {type, p - g, ScoreFromUnits(p - g, tenths)};
  }
  constexpr int64_t kFreeGap = 300;  // 3 km
  if (g > kFreeGap && 100 * g > 5 * p) return {};
  const int64_t distance = g > kFreeGap ? p - g : p;
  return {fai ? ContestType::kFfvlFaiTriangle : ContestType::kFlatTriangle, distance,
          ScoreFromUnits(distance, fai ? 14 : 12)};
}

// --- one branch and bound ---------------------------------------------------

struct Shared {
  std::array<std::atomic<int64_t>, 2> best{};
  const std::atomic<bool>* cancel = nullptr;
  std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::time_point::max();
  std::atomic<bool> stop{false};
};

struct Box {
  int64_t bound = 0;
  std::array<int32_t, 3> k{};
  bool operator<(const Box& o) const { return bound < o.bound; }
};

class Search {
 public:
  Search(const Fixes& f, Shape shape, std::vector<ContestRules> rules, Shared& shared)
      : f_(f), shape_(shape), rules_(std::move(rules)), shared_(shared) {}

  // Looks at up to `budget` boxes; true when the search is over, done or stopped.
  bool Step(uint64_t budget);

  Shape shape() const { return shape_; }
  const std::vector<ContestRules>& rules() const { return rules_; }
  bool InRules(ContestRules r) const { return std::find(rules_.begin(), rules_.end(), r) != rules_.end(); }
  // The best found, per rule set (a distance serves both with one score).
  const ContestScore& Best(ContestRules r) const { return best_[static_cast<size_t>(r)]; }
  int64_t RemainingBound() const { return remaining_.load(std::memory_order_relaxed); }
  bool Finished() const { return finished_.load(std::memory_order_acquire); }

 private:
  int64_t Threshold() const {
    int64_t t = INT64_MAX;
    for (ContestRules r : rules_) t = std::min(t, shared_.best[static_cast<size_t>(r)].load(std::memory_order_relaxed));
    return t;
  }
  void Publish(ContestRules r, ContestScore s) {
    auto& b = shared_.best[static_cast<size_t>(r)];
    int64_t seen = b.load();
    while (s.score > seen && !b.compare_exchange_weak(seen, s.score)) {
    }
    if (s.score > best_[static_cast<size_t>(r)].score) best_[static_cast<size_t>(r)] = std::move(s);
  }

  bool Feasible(const std::array<int32_t, 3>& k) const {
    int32_t x = f_.Lo(k[0]);
    for (int d = 1; d < 3; ++d) {
      x = std::max(x, f_.Lo(k[static_cast<size_t>(d)]));
      if (x > f_.Hi(k[static_cast<size_t>(d)])) return false;
    }
    return true;
  }
  int64_t Bound(const std::array<int32_t, 3>& k);
  int64_t TriangleCeiling(int64_t p, int64_t g) const;
  void Conclude(int64_t left);
  const ChordGap& ChordGapAt(int32_t t1, int32_t t3);
  Gap GapAt(int32_t t1, int32_t t3);
  void Evaluate(std::array<int32_t, 3> x);
  std::array<int32_t, 3> Candidate(const std::array<int32_t, 3>& k) const;
  const Farthest& StartOf(int32_t t1);
  const Farthest& FinishOf(int32_t t3);

  const Fixes& f_;
  Shape shape_;
  std::vector<ContestRules> rules_;
  Shared& shared_;
  std::array<ContestScore, 2> best_{};
  std::atomic<int64_t> remaining_{INT64_MAX};
  std::atomic<bool> finished_{false};
  bool started_ = false;
  std::priority_queue<Box> heap_;

  std::vector<Farthest> startMemo_, finishMemo_;
  std::unordered_map<int64_t, ChordGap> gapMemo_;
  std::vector<int32_t> nodeStack_;
  std::vector<std::pair<int32_t, int32_t>> pairStack_;
};

int64_t Search::Bound(const std::array<int32_t, 3>& k) {
  const EcefBox& b1 = f_.node[static_cast<size_t>(k[0])];
  const EcefBox& b2 = f_.node[static_cast<size_t>(k[1])];
  const EcefBox& b3 = f_.node[static_cast<size_t>(k[2])];
  const int64_t u12 = UpperUnits(b1, b2), u23 = UpperUnits(b2, b3);
  if (shape_ == Shape::kDistance) {
    const int64_t start = f_.IsLeaf(k[0]) ? StartOf(k[0] - f_.leaves).units : UpperToRange(f_, b1, 0, f_.Hi(k[0]));
    const int64_t finish =
        f_.IsLeaf(k[2]) ? FinishOf(k[2] - f_.leaves).units : UpperToRange(f_, b3, f_.Lo(k[2]), f_.n - 1);
    return start + u12 + u23 + finish;  // x1.0
  }
  const int64_t u31 = UpperUnits(b3, b1);
  int64_t p = u12 + u23 + u31;
  if (shape_ == Shape::kFai) p = std::min(p, 100 * std::min({u12, u23, u31}) / 28);
  // The least gap only shrinks as tp1 moves later and tp3 earlier, so the
  // latest tp1 and earliest tp3 of the box give the least gap of all its
  // choices. That search is dearer than the rest, so it is made only when
  // the box survives the cheap ceiling of its two outer boxes.
  int64_t g = LowerUnits(f_.prefix[static_cast<size_t>(f_.Hi(k[0]))], f_.suffix[static_cast<size_t>(f_.Lo(k[2]))]);
  if (TriangleCeiling(p, g) > Threshold())
    g = std::max<int64_t>(g, std::llround(GeodesicLowerFromChord(ChordGapAt(f_.Hi(k[0]), f_.Lo(k[2])).metres) / 10.0));
  return TriangleCeiling(p, g);
}

int64_t Search::TriangleCeiling(int64_t p, int64_t g) const {
  int64_t bound = -1;
  for (ContestRules r : rules_) {
    // The least gap may close a triangle the largest perimeter would not, so
    // each rule's own ceiling is taken at the most generous pair.
    if (r == ContestRules::kXContest) {
      if (100 * g > 20 * p) continue;
      const int tenths = (shape_ == Shape::kFai ? 14 : 12) + (100 * g <= 5 * p ? 2 : 0);
      bound = std::max(bound, ScoreFromUnits(p - g, tenths));
    } else {
      if (g > 300 && 100 * g > 5 * p) continue;
      bound = std::max(bound, ScoreFromUnits(g > 300 ? p - g : p, shape_ == Shape::kFai ? 14 : 12));
    }
  }
  return bound;
}

const ChordGap& Search::ChordGapAt(int32_t t1, int32_t t3) {
  t1 = std::min(t1, t3);  // a fix closes on itself
  const int64_t key = static_cast<int64_t>(t1) * f_.n + t3;
  auto it = gapMemo_.find(key);
  if (it == gapMemo_.end()) it = gapMemo_.emplace(key, LeastChordGap(f_, t1, t3, pairStack_)).first;
  return it->second;
}

Gap Search::GapAt(int32_t t1, int32_t t3) {
  // The nearest pair by chord is nearly always the nearest on the ellipsoid
  // too; only when rounding leaves room for another pair is the search done
  // again on the ellipsoid.
  const ChordGap& c = ChordGapAt(t1, t3);
  const int64_t units = f_.Leg(c.start, c.end);
  if (std::llround(GeodesicLowerFromChord(c.metres) / 10.0) >= units) return {units, c.start, c.end};
  const Gap nearer = ClosingGap(f_, std::min(t1, t3), t3, units, pairStack_);
  return nearer.units >= 0 ? nearer : Gap{units, c.start, c.end};
}

const Farthest& Search::StartOf(int32_t t1) {
  Farthest& m = startMemo_[static_cast<size_t>(t1)];
  if (m.index < 0) m = FarthestFrom(f_, t1, 0, t1, nodeStack_);
  return m;
}
const Farthest& Search::FinishOf(int32_t t3) {
  Farthest& m = finishMemo_[static_cast<size_t>(t3)];
  if (m.index < 0) m = FarthestFrom(f_, t3, t3, f_.n - 1, nodeStack_);
  return m;
}

std::array<int32_t, 3> Search::Candidate(const std::array<int32_t, 3>& k) const {
  // A choice inside the box near its middle that keeps the time order: the
  // lowest and highest orderly choices fence each coordinate in.
  std::array<int32_t, 3> low{}, high{}, x{};
  low[0] = f_.Lo(k[0]);
  for (size_t d = 1; d < 3; ++d) low[d] = std::max(low[d - 1], f_.Lo(k[d]));
  high[2] = f_.Hi(k[2]);
  for (size_t d = 2; d-- > 0;) high[d] = std::min(high[d + 1], f_.Hi(k[d]));
  for (size_t d = 0; d < 3; ++d) {
    const int32_t mid = f_.Lo(k[d]) + (f_.Hi(k[d]) - f_.Lo(k[d])) / 2;
    const int32_t floor = d == 0 ? low[0] : std::max(low[d], x[d - 1]);
    x[d] = std::clamp(mid, floor, std::max(floor, high[d]));
  }
  return x;
}

void Search::Evaluate(std::array<int32_t, 3> x) {
  const auto orig = [&](int32_t i) { return f_.original[static_cast<size_t>(i)]; };
  if (shape_ == Shape::kDistance) {
    const Farthest& s = StartOf(x[0]);
    const Farthest& e = FinishOf(x[2]);
    const int64_t l12 = f_.Leg(x[0], x[1]), l23 = f_.Leg(x[1], x[2]);
    const int64_t total = s.units + l12 + l23 + e.units;
    if (total <= Threshold() || total <= 0) return;
    for (ContestRules r : rules_) {
      ContestScore c;
      c.type = r == ContestRules::kXContest ? ContestType::kFreeFlight : ContestType::kDistance3Points;
      c.legs = {{orig(s.index), orig(x[0]), s.units},
                {orig(x[0]), orig(x[1]), l12},
                {orig(x[1]), orig(x[2]), l23},
                {orig(x[2]), orig(e.index), e.units}};
      c.distance = total;
      c.score = total;
      Publish(r, std::move(c));
    }
    return;
  }
  const int64_t l12 = f_.Leg(x[0], x[1]), l23 = f_.Leg(x[1], x[2]), l31 = f_.Leg(x[2], x[0]);
  const int64_t p = l12 + l23 + l31;
  if (p <= 0) return;
  if (shape_ == Shape::kFai && 100 * std::min({l12, l23, l31}) < 28 * p) return;
  const int64_t threshold = Threshold();
  // The widest gap any of our rules accepts, and whether any could beat the best at all.
  int64_t widest = -1;
  for (ContestRules r : rules_) {
    const Verdict v = JudgeTriangle(r, shape_, p, 0);
    if (v.score <= threshold) continue;
    widest = std::max(widest, r == ContestRules::kXContest ? 20 * p / 100 : std::max<int64_t>(300, 5 * p / 100));
  }
  if (widest < 0) return;
  const Gap gap = GapAt(x[0], x[2]);
  if (gap.units < 0 || gap.units > widest) return;
  for (ContestRules r : rules_) {
    const Verdict v = JudgeTriangle(r, shape_, p, gap.units);
    if (v.type == ContestType::kNone || v.score <= shared_.best[static_cast<size_t>(r)].load()) continue;
    ContestScore c;
    c.type = v.type;
    c.legs = {{orig(x[0]), orig(x[1]), l12}, {orig(x[1]), orig(x[2]), l23}, {orig(x[2]), orig(x[0]), l31}};
    c.closing = {orig(gap.start), orig(gap.end), gap.units};
    c.distance = v.distance;
    c.score = v.score;
    Publish(r, std::move(c));
  }
}

bool Search::Step(uint64_t budget) {
  if (!started_) {
    started_ = true;
    startMemo_.assign(shape_ == Shape::kDistance ? static_cast<size_t>(f_.n) : 0, Farthest{});
    finishMemo_.assign(startMemo_.size(), Farthest{});
    const std::array<int32_t, 3> root{1, 1, 1};
    heap_.push({Bound(root), root});
  }
  for (uint64_t round = 1; !heap_.empty() && round <= budget; ++round) {
    if ((round & 255) == 0 &&
        (shared_.stop.load(std::memory_order_relaxed) ||
         (shared_.cancel != nullptr && shared_.cancel->load(std::memory_order_relaxed)) ||
         std::chrono::steady_clock::now() >= shared_.deadline)) {
      shared_.stop.store(true);
      Conclude(heap_.top().bound);
      return true;
    }
    const Box box = heap_.top();
    heap_.pop();
    if (box.bound <= Threshold()) {
      heap_ = {};  // nothing left can beat what is known
      break;
    }
    const auto& k = box.k;
    if (f_.IsLeaf(k[0]) && f_.IsLeaf(k[1]) && f_.IsLeaf(k[2])) {
      Evaluate({k[0] - f_.leaves, k[1] - f_.leaves, k[2] - f_.leaves});
      continue;
    }
    Evaluate(Candidate(k));
    // Split the group that spreads farthest on the ground: its box loosens
    // the bound most.
    size_t wide = 0;
    double widest = -1;
    for (size_t d = 0; d < 3; ++d) {
      if (f_.IsLeaf(k[d])) continue;
      const EcefBox& b = f_.node[static_cast<size_t>(k[d])];
      const double spread = std::hypot(b.hi[0] - b.lo[0], b.hi[1] - b.lo[1], b.hi[2] - b.lo[2]);
      if (spread > widest) {
        widest = spread;
        wide = d;
      }
    }
    for (int32_t child = 2 * k[wide]; child <= 2 * k[wide] + 1; ++child) {
      if (f_.Empty(child)) continue;
      std::array<int32_t, 3> c = k;
      c[wide] = child;
      if (!Feasible(c)) continue;
      const int64_t b = Bound(c);
      if (b > Threshold()) heap_.push({b, c});
    }
  }
  if (heap_.empty()) {
    Conclude(0);
    return true;
  }
  remaining_.store(heap_.top().bound, std::memory_order_relaxed);
  return false;
}

void Search::Conclude(int64_t left) {
  for (ContestRules r : rules_) {
    ContestScore& s = best_[static_cast<size_t>(r)];
    s.bound = std::max(s.score, left);
    s.optimal = left <= s.score;
  }
  heap_ = {};
  startMemo_ = {};
  finishMemo_ = {};
  gapMemo_ = {};
  remaining_.store(left, std::memory_order_relaxed);
  finished_.store(true, std::memory_order_release);
}

}  // namespace

std::string_view ContestRulesName(ContestRules rules) {
  return rules == ContestRules::kXContest ? "XContest" : "FFVL";
}

std::string_view ContestTypeName(ContestType type) {
  switch (type) {
    case ContestType::kNone: return "none";
    case ContestType::kFreeFlight: return "free flight";
    case ContestType::kFreeTriangle: return "free triangle";
    case ContestType::kFaiTriangle: return "FAI triangle";
    case ContestType::kClosedFreeTriangle: return "closed free triangle";
    case ContestType::kClosedFaiTriangle: return "closed FAI triangle";
    case ContestType::kDistance3Points: return "distance over 3 points";
    case ContestType::kFlatTriangle: return "flat triangle";
    case ContestType::kFfvlFaiTriangle: return "FAI triangle";
  }
  return "none";
}

bool IsTriangle(ContestType type) {
  return type != ContestType::kNone && type != ContestType::kFreeFlight && type != ContestType::kDistance3Points;
}

int64_t LegUnits(const TrackPoint& a, const TrackPoint& b) {
  const GeoDistanceResult r = GeoDistance(Geo(a), Geo(b));
  return r.status == 0 ? std::llround(r.metres / 10.0) : 0;
}

FlightCut CutFlight(std::span<const TrackPoint> points) {
  const int32_t n = static_cast<int32_t>(points.size());
  if (n < 2) return {0, n - 1};
  // Path length from the first fix, for speeds over any window.
  std::vector<double> path(static_cast<size_t>(n), 0.0);
  EcefPoint prev = ToEcef(Geo(points[0]));
  for (size_t i = 1; i < points.size(); ++i) {
    const EcefPoint p = ToEcef(Geo(points[i]));
    path[i] = path[i - 1] + std::hypot(p.x - prev.x, p.y - prev.y, p.z - prev.z);
    prev = p;
  }
  std::vector<char> moving(static_cast<size_t>(n), 0);
  int32_t lo = 0, hi = 0;
  for (int32_t i = 0; i < n; ++i) {
    const uint32_t t = points[static_cast<size_t>(i)].time;
    while (lo < i && points[static_cast<size_t>(lo)].time + kCutHalfWindow < t) ++lo;
    if (hi < i) hi = i;
    while (hi + 1 < n && points[static_cast<size_t>(hi) + 1].time <= t + kCutHalfWindow) ++hi;
    // A window of one fix has neighbours to measure against all the same.
    const int32_t a = lo == hi ? std::max(0, i - 1) : lo;
    const int32_t b = lo == hi ? std::min(n - 1, i + 1) : hi;
    const auto& pa = points[static_cast<size_t>(a)];
    const auto& pb = points[static_cast<size_t>(b)];
    const double dt = pb.time > pa.time ? static_cast<double>(pb.time - pa.time) : 0.0;
    if (dt <= 0) continue;
    const double speed = (path[static_cast<size_t>(b)] - path[static_cast<size_t>(a)]) / dt;
    const double climb = std::fabs(HeightMetres(pb) - HeightMetres(pa)) / dt;
    moving[static_cast<size_t>(i)] = speed >= kMovingSpeed || climb >= kMovingClimb;
  }
  // Stretches of moving fixes joined across short pauses; the longest is the flight.
  FlightCut best{0, -1};
  uint32_t bestSeconds = 0;
  int32_t first = -1, last = -1;
  const auto close = [&] {
    if (first < 0) return;
    const uint32_t seconds = points[static_cast<size_t>(last)].time - points[static_cast<size_t>(first)].time;
    if (best.landing < 0 || seconds > bestSeconds) {
      best = {first, last};
      bestSeconds = seconds;
    }
  };
  for (int32_t i = 0; i < n; ++i) {
    if (moving[static_cast<size_t>(i)] == 0) continue;
    if (first >= 0 && points[static_cast<size_t>(i)].time > points[static_cast<size_t>(last)].time + kLongestPause) {
      close();
      first = -1;
    }
    if (first < 0) first = i;
    last = i;
  }
  close();
  return best;
}

ContestScores ScoreContests(std::span<const TrackPoint> points, const ContestOptions& options) {
  ContestScores out;
  out.cut = options.cutFlight ? CutFlight(points)
                              : FlightCut{0, static_cast<int32_t>(points.size()) - 1};
  const Fixes fixes = PrepareFixes(points, out.cut);
  if (fixes.n < 2) {
    for (auto& s : out.byRules) s.optimal = true;
    return out;
  }

  Shared shared;
  shared.cancel = options.cancel;
  const auto started = std::chrono::steady_clock::now();
  if (options.timeLimitSeconds > 0)
    shared.deadline = started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                    std::chrono::duration<double>(options.timeLimitSeconds));

  using R = ContestRules;
  std::vector<std::unique_ptr<Search>> searches;
  searches.push_back(std::make_unique<Search>(fixes, Shape::kDistance, std::vector{R::kXContest, R::kFfvl}, shared));
  searches.push_back(std::make_unique<Search>(fixes, Shape::kFai, std::vector{R::kXContest}, shared));
  searches.push_back(std::make_unique<Search>(fixes, Shape::kFai, std::vector{R::kFfvl}, shared));
  searches.push_back(std::make_unique<Search>(fixes, Shape::kFlat, std::vector{R::kXContest}, shared));
  searches.push_back(std::make_unique<Search>(fixes, Shape::kFlat, std::vector{R::kFfvl}, shared));

  int threads = options.threads > 0 ? options.threads : static_cast<int>(std::thread::hardware_concurrency());
  threads = std::clamp(threads, 1, static_cast<int>(searches.size()));
  const auto progress = [&] {
    if (!options.progress) return;
    ContestProgress p;
    p.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    p.searchesTotal = static_cast<int>(searches.size());
    for (const auto& s : searches) p.searchesDone += s->Finished() ? 1 : 0;
    for (R r : kContestRules) {
      const size_t ri = static_cast<size_t>(r);
      p.best[ri] = std::max<int64_t>(0, shared.best[ri].load());
      p.bound[ri] = p.best[ri];
      for (const auto& s : searches)
        if (s->InRules(r) && !s->Finished()) p.bound[ri] = std::max(p.bound[ri], s->RemainingBound());
    }
    options.progress(p);
  };

  // The searches take turns with growing shares: each one's early finds
  // raise the bar for the others, and a search that would prune nothing
  // alone often has little left once another has found a good scoring.
  for (uint64_t budget = 2048;; budget *= 4) {
    std::vector<Search*> open;
    for (const auto& s : searches)
      if (!s->Finished()) open.push_back(s.get());
    if (open.empty()) break;
    std::atomic<size_t> next{0};
    std::atomic<int> running{0};
    const auto worker = [&] {
      for (size_t i = next++; i < open.size(); i = next++) open[i]->Step(budget);
      --running;
    };
    const int count = std::min(threads, static_cast<int>(open.size()));
    running = count;
    std::vector<std::thread> pool;
    for (int t = 1; t < count; ++t) pool.emplace_back(worker);
    if (options.progress && count > 1) {
      // The calling thread reports while the pool works.
      pool.emplace_back(worker);
      auto told = std::chrono::steady_clock::now();
      while (running.load() > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        if (std::chrono::steady_clock::now() - told >= std::chrono::milliseconds(100)) {
          progress();
          told = std::chrono::steady_clock::now();
        }
      }
    } else {
      worker();
    }
    for (auto& t : pool) t.join();
    progress();
  }

  out.cancelled = options.cancel != nullptr && options.cancel->load();
  for (R r : kContestRules) {
    ContestScore& result = out.byRules[static_cast<size_t>(r)];
    bool optimal = true;
    int64_t bound = 0;
    for (const auto& s : searches) {
      if (!s->InRules(r)) continue;
      const ContestScore& b = s->Best(r);
      if (b.found() && (!result.found() || b.score > result.score)) result = b;
      bound = std::max(bound, b.bound);
      optimal = optimal && (b.optimal || b.bound <= shared.best[static_cast<size_t>(r)].load());
    }
    result.bound = std::max(bound, result.score);
    result.optimal = optimal || result.bound <= result.score;
  }
  return out;
}

}  // namespace skylode
