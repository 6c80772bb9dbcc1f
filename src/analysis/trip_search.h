// Greatest distances over a track: open distance over two to five points,
// out-and-return and the flat and FAI triangles. A coarse search over at most
// 2000 sampled positions works on integer planar distances; each coarse choice
// is then refined on the full track with ellipsoidal distances.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "records/track_log.h"

namespace skylode {

// One result with its positions as full-track indices. legs[k - 1] is the
// distance shown beside point k (B, C, D, E):
//   open distance  A-B: legs[0] = AB
//   3..5 points:   legs are the consecutive legs AB, BC, ...
//   out-and-return start, turn, end: legs[0] = start-turn, legs[1] = start-end
//   triangles      start, tp1, tp2, tp3, end: legs 1-2, 2-3, 3-1, then start-end
struct TripResult {
  std::array<int32_t, 5> index{};
  std::array<double, 4> legs{};
  double total = 0;  // metres: sum of legs, or the loop score after the gap
  friend bool operator==(const TripResult&, const TripResult&) = default;
};

struct TripDistances {
  TripResult open;          // 2 points
  TripResult three;         // 3 points
  TripResult four;          // 4 points
  TripResult five;          // 5 points
  TripResult outAndReturn;  // 3 positions
  TripResult flatTriangle;  // 5 positions
  TripResult faiTriangle;   // 5 positions
  friend bool operator==(const TripDistances&, const TripDistances&) = default;
};

inline constexpr int32_t kTripSampleLimit = 2000;
// Planar distances are capped so that every sum and the FAI leg test stay
// inside 32 bits; no real track comes near 50,000 km between two fixes.
inline constexpr int32_t kTripMatrixDistanceCap = 50'000'000;

// A large block of integers for the matrices. It is taken in whole huge pages
// where the system offers them: filling tens of megabytes page by page costs
// more than the searches themselves. The contents start undefined.
class TripMatrix {
 public:
  TripMatrix() = default;
  TripMatrix(const TripMatrix& other);
  TripMatrix& operator=(const TripMatrix& other);
  TripMatrix(TripMatrix&&) noexcept = default;
  TripMatrix& operator=(TripMatrix&&) noexcept = default;

  // False, and empty, when the memory cannot be had.
  bool Allocate(size_t count);
  void Release();

  int32_t* data() { return data_.get(); }
  const int32_t* data() const { return data_.get(); }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  int32_t& operator[](size_t i) { return data_[i]; }
  const int32_t& operator[](size_t i) const { return data_[i]; }

 private:
  struct Free {
    void operator()(int32_t* p) const;
  };
  std::unique_ptr<int32_t[], Free> data_;
  size_t size_ = 0;
};

// The sampled, projected positions and the matrices of one search run.
// The distance matrix is square (m x m, row-major) and symmetric: the
// searches read a row on both sides of the diagonal, D(i, j) for j > i and
// D(j, k) for j < k, each as a contiguous run. The gap matrix is only
// defined for i <= k and is kept as packed rows.
struct TripSearchWork {
  int32_t m = 0;
  std::vector<int32_t> index;  // full-track index of each sample, ascending
  std::vector<double> x, y;    // metres, local transverse Mercator
  double centralMeridian = 0;  // radians, in (-pi, pi]

  TripMatrix d;    // D(i, k) = D(k, i), integer metres
  TripMatrix gap;  // G(i, k) for i < k: least D(s, e), s <= i, e >= k
  std::vector<int32_t> bestFrom, bestFromArg;
  std::vector<int32_t> bestTo, bestToArg;

  int32_t D(int32_t i, int32_t k) const { return d[static_cast<size_t>(i) * m + k]; }
  // Row i of the gap matrix starts at GapOffset(i) + i.
  size_t GapOffset(int32_t i) const {
    return static_cast<size_t>(i) * static_cast<size_t>(m) - static_cast<size_t>(i) * (i + 1) / 2;
  }
  int32_t G(int32_t i, int32_t k) const { return gap[GapOffset(i) + k]; }
  // The (s, e) that gives G(i, k), packed s * 65536 + e. Only the chosen
  // triangles need it, so it is traced back through the choices the gap
  // matrix made rather than stored for every pair.
  int32_t GArg(int32_t i, int32_t k) const;
};

// A coarse choice: sample indices (not full-track indices) and the integer
// score. found is false when the track is too short or nothing qualified.
struct CoarseChoice {
  bool found = false;
  int64_t score = 0;
  std::array<int32_t, 5> pos{};
  friend bool operator==(const CoarseChoice&, const CoarseChoice&) = default;
};

struct CoarseTriangles {
  CoarseChoice flat;
  CoarseChoice fai;
};

using TripHaltFlag = std::atomic<bool>;
using TripStatusCallback = std::function<void(std::string_view)>;

struct TripSearchOptions {
  uint32_t loopFlightGap = 800;  // metres; 0 switches loops and triangles off
  int threads = 0;               // 0: one per core
};

// Takes all positions up to 2000, else 2000 evenly spread ones, and projects
// them about the middle of the track's longitude range. The range is found on
// the circle, so a track across 180 degrees is projected about its own middle.
void SampleAndProject(std::span<const TrackPoint> points, TripSearchWork& work);

// The matrices; false when one cannot be allocated. A set halt flag stops the
// fill early (the work is then incomplete and must not be searched).
bool BuildDistanceMatrix(TripSearchWork& work, const TripHaltFlag* halt = nullptr, int threads = 0);
bool BuildGapMatrix(TripSearchWork& work, const TripHaltFlag* halt = nullptr);

// Coarse searches. A set halt flag makes them return "not found".
CoarseChoice CoarseGreatestDistance2(const TripSearchWork& work);
CoarseChoice CoarseGreatestDistance3(const TripSearchWork& work);
CoarseChoice CoarseGreatestDistance4(const TripSearchWork& work, const TripHaltFlag* halt = nullptr);
CoarseChoice CoarseGreatestDistance5(const TripSearchWork& work, const TripHaltFlag* halt = nullptr);
CoarseChoice CoarseOutAndReturn(const TripSearchWork& work, uint32_t loopFlightGap,
                                const TripHaltFlag* halt = nullptr);
// What closes a triangle. The trip search asks for start and finish within a
// fixed distance of each other; the online contest asks for a closing
// distance below a share of the perimeter. Both may be set.
struct TriangleRules {
  // A first and third turnpoint pair counts only when its gap G(i, k) is
  // strictly below this (metres).
  int64_t gapBelow = std::numeric_limits<int64_t>::max();
  // Above 0: a triangle counts only when its perimeter is strictly greater
  // than this many times its gap.
  int32_t perimeterOverGap = 0;
};

// Needs BuildGapMatrix first. The best flat triangle is the greatest
// perimeter minus gap, ties to the later (i, k, j); the FAI one the same among
// those whose every leg is at least 7P/25. `visited`, when given, grows by
// the (i, j, k) triples each finished first turnpoint stands for, the whole
// search adding up to m (m - 1) (m - 2) / 6 however much of it was skipped.
CoarseTriangles CoarseTriangleSearch(const TripSearchWork& work, const TriangleRules& rules,
                                     const TripHaltFlag* halt = nullptr, int threads = 0,
                                     std::atomic<int64_t>* visited = nullptr);
// The trip search's rule: start and finish closer than loopFlightGap; 0
// finds nothing.
CoarseTriangles CoarseTriangleSearch(const TripSearchWork& work, uint32_t loopFlightGap,
                                     const TripHaltFlag* halt = nullptr, int threads = 0);

// The exact distances a refinement rule sees for one combination of
// candidates: Leg(u, v) between the combination's positions u and v.
class RefineLegs {
 public:
  virtual double Leg(int u, int v) const = 0;

 protected:
  ~RefineLegs() = default;
};

// How a refinement admits and scores a combination: nullopt refuses it.
using RefineScore = std::function<std::optional<double>(const RefineLegs&)>;

struct RefineOrder {
  // touches[u]: position u may be the same fix as position u - 1 (otherwise
  // it must come strictly later).
  std::array<bool, 5> touches{};
};

// Moves each of the `count` coarse positions by up to two fixes either way
// on the full track and keeps the combination with the greatest score, ties
// to the later one in ascending order; the best starts at `floor`, so only
// scores at least that count. Returns the chosen full-track indices and
// their score when the best is above `floor`; nullopt otherwise.
struct RefinedChoice {
  std::array<int32_t, 5> index{};
  double score = 0;
};
std::optional<RefinedChoice> RefineChoice(std::span<const TrackPoint> points, const TripSearchWork& work,
                                          const CoarseChoice& coarse, int count, const RefineOrder& order,
                                          const RefineScore& score, double floor);
// The full-track index of each coarse position.
std::array<int32_t, 5> CoarseIndices(const TripSearchWork& work, const CoarseChoice& coarse, int count);
// The exact distance between two fixes of the track (0 when it cannot be had).
double FixDistance(std::span<const TrackPoint> points, int32_t a, int32_t b);

// Refinement of a coarse choice on the full track.
TripResult RefineDistance(std::span<const TrackPoint> points, const TripSearchWork& work,
                          const CoarseChoice& coarse, int count);
TripResult RefineOutAndReturn(std::span<const TrackPoint> points, const TripSearchWork& work,
                              const CoarseChoice& coarse, uint32_t loopFlightGap);
TripResult RefineTriangle(std::span<const TrackPoint> points, const TripSearchWork& work,
                          const CoarseChoice& coarse, uint32_t loopFlightGap, bool fai);
// A triangle's legs (1-2, 2-3, 3-1, start-finish) and perimeter minus gap
// from its five full-track indices.
TripResult TriangleResult(std::span<const TrackPoint> points, const std::array<int32_t, 5>& index);

// Runs every search in order on its own copy of nothing but the span it is
// given (the caller keeps the points alive). Returns 0 on completion, also
// after a halt (the searches not done are left 0), and -1 when the matrices
// cannot be allocated. `status` gets the step texts and the final
// "Computing completed (s.mmm secs)".
int RunTripSearch(std::span<const TrackPoint> points, TripDistances& result,
                  const TripSearchOptions& options, const TripStatusCallback& status,
                  const TripHaltFlag& halt);

}  // namespace skylode
