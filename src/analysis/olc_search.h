// The online contest's optimisation of a track: the best free distance over
// five points, the best free and FAI triangles under the contest's closing
// rule (start to finish under a fifth of the perimeter), their points, and
// the one result a claim is made for. The greatest two-point distance and
// the greatest out-and-return come along unscored. It shares the trip
// search's sampling, matrices and refinement; only the rules differ.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "analysis/trip_search.h"

namespace skylode {

enum class OlcKind { kFreeDistance, kFreeTriangle, kFaiTriangle };

// Points per metre of scored distance.
inline constexpr double kOlcFreeDistanceFactor = 0.0015;
inline constexpr double kOlcFreeTriangleFactor = 0.00175;
inline constexpr double kOlcFaiTriangleFactor = 0.002;
// An out-and-return closes within this many metres.
inline constexpr int32_t kOlcOutAndReturnClosing = 400;
// A triangle closes when its perimeter is more than this many times the
// distance from start to finish.
inline constexpr int32_t kOlcPerimeterOverClosing = 5;

struct OlcResults {
  TripResult maxDistance;   // A, B: legs[0] = AB
  TripResult freeDistance;  // A to E: the four legs, total = their sum
  // start, turn, end: legs[0] = out, legs[1] = back, legs[2] = start-end,
  // total = out + back
  TripResult outAndReturn;
  TripResult freeTriangle;  // start, turnpoints 1-3, finish, as the trip search keeps them
  TripResult faiTriangle;
  double freeDistancePoints = 0;
  double freeTrianglePoints = 0;
  double faiTrianglePoints = 0;
  friend bool operator==(const OlcResults&, const OlcResults&) = default;
};

// The result a claim is made for, from the three scores: the triangle wins a
// tie with the free distance, the FAI triangle a tie with either.
OlcKind ChooseBestOlcResult(double freeDistance, double freeTriangle, double faiTriangle);

struct OlcClaim {
  OlcKind kind = OlcKind::kFaiTriangle;
  double points = 0;
  // start, three turnpoints, finish as full-track indices
  std::array<int32_t, 5> index{};
};
OlcClaim BestOlcClaim(const OlcResults& results);

// The points of one kind for a result: its scored distance in metres times
// the kind's factor.
double OlcPoints(OlcKind kind, const TripResult& result);
// The scored distance in metres: the free distance's legs, a triangle's
// perimeter less its start-finish distance.
double OlcScoredDistance(const TripResult& result);
const char* OlcKindName(OlcKind kind);
const char* OlcBestResultText(OlcKind kind);  // printf format with one %.2f

// The triangle search's progress in (first, second, third turnpoint)
// triples: `total` of them, `done` visited so far. Total stays 0 until the
// triangle search starts.
struct OlcProgress {
  std::atomic<int64_t> total{0};
  std::atomic<int64_t> done{0};
};

// Progress as a person sees it, in whole millions of triples: "" while that
// total is 0, "N %" below 100, "Done:" from then on.
std::string OlcProgressText(int64_t done, int64_t total);

enum class OlcStatus { kCompleted, kHalted, kOutOfMemory };

struct OlcSearchOptions {
  int threads = 0;  // 0: one per core
};

// Coarse searches of the contest on a built work record; "not found" when
// halted.
CoarseChoice CoarseOlcOutAndReturn(const TripSearchWork& work, const TripHaltFlag* halt = nullptr);
CoarseTriangles CoarseOlcTriangles(const TripSearchWork& work, const TripHaltFlag* halt = nullptr,
                                   int threads = 0, std::atomic<int64_t>* visited = nullptr);
// Refinements with the contest's rules; an empty result when the coarse
// choice found nothing.
TripResult RefineOlcOutAndReturn(std::span<const TrackPoint> points, const TripSearchWork& work,
                                 const CoarseChoice& coarse);
TripResult RefineOlcTriangle(std::span<const TrackPoint> points, const TripSearchWork& work,
                             const CoarseChoice& coarse, bool fai);

// The whole optimisation in order: matrices, maximum distances, out-and-return,
// triangles, then the points. `status` gets the step texts (and their
// "... aborted" when halted), "Optimization completed" and the best result.
// A halted run leaves `results` empty.
OlcStatus OlcOptimise(std::span<const TrackPoint> points, OlcResults& results,
                      const TripStatusCallback& status, const TripHaltFlag& halt,
                      OlcProgress* progress = nullptr, const OlcSearchOptions& options = {});

// The optimisation on a thread of its own, as the dialog runs it. The thread
// holds its own copy of everything, so the owner may let it go at any time;
// whichever way it ends (completed, halted, out of memory, an exception),
// it marks itself ended.
class OlcRun {
 public:
  OlcRun(const OlcRun&) = delete;
  OlcRun& operator=(const OlcRun&) = delete;
  // Halts and waits for the thread.
  ~OlcRun();

  // Nothing when no thread can be started.
  static std::unique_ptr<OlcRun> Start(std::vector<TrackPoint> points,
                                       TripStatusCallback status = {},
                                       OlcSearchOptions options = {});

  void Halt();
  bool Halted() const;
  bool ResultsReady() const;
  bool ThreadEnded() const;
  // Waits at most `timeout` for the thread to end; true when it has.
  bool WaitEnded(std::chrono::milliseconds timeout) const;
  std::string ProgressText() const;

  // Once the results are ready (nothing before, nor after a halt).
  std::optional<OlcResults> Results() const;
  std::optional<OlcStatus> Status() const;
  const std::vector<TrackPoint>& Points() const;

 private:
  struct Shared;
  OlcRun() = default;
  std::shared_ptr<Shared> shared_;
  std::thread thread_;
};

}  // namespace skylode
