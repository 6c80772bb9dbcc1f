#include "analysis/olc_search.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <new>
#include <system_error>

namespace skylode {

namespace {

bool IsHalted(const TripHaltFlag* halt) {
  return halt != nullptr && halt->load(std::memory_order_relaxed);
}

constexpr double kClosingShare = 1.0 / kOlcPerimeterOverClosing;
constexpr double kFaiLegShare = 0.28;

}  // namespace

OlcKind ChooseBestOlcResult(double d, double t, double f) {
  if (d <= t) return t > f ? OlcKind::kFreeTriangle : OlcKind::kFaiTriangle;
  return d > f ? OlcKind::kFreeDistance : OlcKind::kFaiTriangle;
}

double OlcScoredDistance(const TripResult& r) {
  return r.total;
}

double OlcPoints(OlcKind kind, const TripResult& r) {
  switch (kind) {
    case OlcKind::kFreeDistance:
      return r.total * kOlcFreeDistanceFactor;
    case OlcKind::kFreeTriangle:
      return r.total * kOlcFreeTriangleFactor;
    case OlcKind::kFaiTriangle:
      return r.total * kOlcFaiTriangleFactor;
  }
  return 0;
}

const char* OlcKindName(OlcKind kind) {
  switch (kind) {
    case OlcKind::kFreeDistance:
      return "free distance";
    case OlcKind::kFreeTriangle:
      return "free triangle";
    case OlcKind::kFaiTriangle:
      return "FAI triangle";
  }
  return "";
}

const char* OlcBestResultText(OlcKind kind) {
  switch (kind) {
    case OlcKind::kFreeDistance:
      return "Best result is free distance with %.2f points";
    case OlcKind::kFreeTriangle:
      return "Best result is free triangle with %.2f points";
    case OlcKind::kFaiTriangle:
      return "Best result is FAI triangle with %.2f points";
  }
  return "";
}

OlcClaim BestOlcClaim(const OlcResults& r) {
  OlcClaim c;
  c.kind = ChooseBestOlcResult(r.freeDistancePoints, r.freeTrianglePoints, r.faiTrianglePoints);
  switch (c.kind) {
    case OlcKind::kFreeDistance:
      c.points = r.freeDistancePoints;
      c.index = r.freeDistance.index;
      break;
    case OlcKind::kFreeTriangle:
      c.points = r.freeTrianglePoints;
      c.index = r.freeTriangle.index;
      break;
    case OlcKind::kFaiTriangle:
      c.points = r.faiTrianglePoints;
      c.index = r.faiTriangle.index;
      break;
  }
  return c;
}

std::string OlcProgressText(int64_t done, int64_t total) {
  // Counted in whole millions of triples, as the counter steps.
  done /= 1'000'000;
  total /= 1'000'000;
  if (total <= 0) return "";
  const int percent =
      static_cast<int>(static_cast<double>(done) / static_cast<double>(total) * 100 + 0.5);
  if (percent >= 100) return "Done:";
  return std::to_string(percent) + " %";
}

// ---------------------------------------------------------------------------

CoarseChoice CoarseOlcOutAndReturn(const TripSearchWork& w, const TripHaltFlag* halt) {
  CoarseChoice c;
  int64_t best = 0;
  for (int32_t i = 0; i + 2 < w.m; ++i) {
    if (IsHalted(halt)) return {};
    const int32_t* rowI = &w.d[static_cast<size_t>(i) * w.m];
    int64_t outMax = 0;  // the farthest turn from the start so far
    for (int32_t k = i + 2; k < w.m; ++k) {
      outMax = std::max<int64_t>(outMax, rowI[k - 1]);
      if (rowI[k] >= kOlcOutAndReturnClosing) continue;
      // The way back is at most the way out plus the closing leg (one metre
      // more for each rounded distance): a pair that cannot even tie the
      // best so far is passed over, which leaves the choice as it was.
      if (2 * outMax + rowI[k] + 2 < best) continue;
      const int32_t* rowK = &w.d[static_cast<size_t>(k) * w.m];
      for (int32_t j = i + 1; j < k; ++j) {
        const int64_t score = int64_t{rowI[j]} + rowK[j];
        if (score >= best) {
          best = score;
          c = {true, score, {i, j, k, 0, 0}};
        }
      }
    }
  }
  if (!c.found || c.score <= 0) return {};
  return c;
}

CoarseTriangles CoarseOlcTriangles(const TripSearchWork& w, const TripHaltFlag* halt, int threads,
                                   std::atomic<int64_t>* visited) {
  TriangleRules rules;
  rules.perimeterOverGap = kOlcPerimeterOverClosing;
  CoarseTriangles t = CoarseTriangleSearch(w, rules, halt, threads, visited);
  // Only a positive best is worth a claim.
  if (t.flat.score <= 0) t.flat = {};
  if (t.fai.score <= 0) t.fai = {};
  return t;
}

TripResult RefineOlcOutAndReturn(std::span<const TrackPoint> points, const TripSearchWork& w,
                                 const CoarseChoice& c) {
  TripResult r;
  if (!c.found) return r;
  const auto refined = RefineChoice(
      points, w, c, 3, {},
      [](const RefineLegs& legs) -> std::optional<double> {
        if (legs.Leg(0, 2) > kOlcOutAndReturnClosing) return std::nullopt;
        return legs.Leg(0, 1) + legs.Leg(1, 2);
      },
      0);
  r.index = refined ? refined->index : CoarseIndices(w, c, 3);
  r.legs[0] = FixDistance(points, r.index[0], r.index[1]);
  r.legs[1] = FixDistance(points, r.index[1], r.index[2]);
  r.legs[2] = FixDistance(points, r.index[0], r.index[2]);
  r.total = r.legs[0] + r.legs[1];
  return r;
}

TripResult RefineOlcTriangle(std::span<const TrackPoint> points, const TripSearchWork& w,
                             const CoarseChoice& c, bool fai) {
  if (!c.found) return {};
  RefineOrder order;
  // Start and finish may lie on a turnpoint.
  order.touches[1] = true;
  order.touches[4] = true;
  const auto refined = RefineChoice(
      points, w, c, 5, order,
      [fai](const RefineLegs& legs) -> std::optional<double> {
        const double l1 = legs.Leg(1, 2), l2 = legs.Leg(2, 3), l3 = legs.Leg(1, 3);
        const double perimeter = l1 + l2 + l3;
        const double closing = legs.Leg(0, 4);
        if (closing > kClosingShare * perimeter) return std::nullopt;
        if (fai) {
          const double least = kFaiLegShare * perimeter;
          if (l1 < least || l2 < least || l3 < least) return std::nullopt;
        }
        return perimeter - closing;
      },
      0);
  return TriangleResult(points, refined ? refined->index : CoarseIndices(w, c, 5));
}

// ---------------------------------------------------------------------------

OlcStatus OlcOptimise(std::span<const TrackPoint> points, OlcResults& results,
                      const TripStatusCallback& status, const TripHaltFlag& halt,
                      OlcProgress* progress, const OlcSearchOptions& options) {
  results = {};
  auto show = [&](std::string_view text) {
    if (status) status(text);
  };
  auto aborted = [&](const char* text) {
    show(text);
    return OlcStatus::kHalted;
  };

  TripSearchWork work;
  SampleAndProject(points, work);
  if (!BuildDistanceMatrix(work, &halt, options.threads)) return OlcStatus::kOutOfMemory;
  OlcResults found;

  show("Max. distance search");
  if (halt) return aborted("Max. distance search aborted");
  found.maxDistance = RefineDistance(points, work, CoarseGreatestDistance2(work), 2);
  const CoarseChoice five = CoarseGreatestDistance5(work, &halt);
  if (halt) return aborted("Max. distance search aborted");
  found.freeDistance = RefineDistance(points, work, five, 5);

  show("Out-and-return search");
  const CoarseChoice back = CoarseOlcOutAndReturn(work, &halt);
  if (halt) return aborted("Out-and-return search aborted");
  found.outAndReturn = RefineOlcOutAndReturn(points, work, back);

  show("Triangle search");
  if (!BuildGapMatrix(work, &halt)) return OlcStatus::kOutOfMemory;
  const int64_t m = work.m;
  std::atomic<int64_t> unused{0};
  std::atomic<int64_t>& visited = progress != nullptr ? progress->done : unused;
  visited = 0;
  if (progress != nullptr) progress->total = m * (m - 1) * (m - 2) / 6;
  const CoarseTriangles tri = CoarseOlcTriangles(work, &halt, options.threads, &visited);
  if (halt) return aborted("Triangle search aborted");
  found.freeTriangle = RefineOlcTriangle(points, work, tri.flat, false);
  found.faiTriangle = RefineOlcTriangle(points, work, tri.fai, true);

  found.freeDistancePoints = OlcPoints(OlcKind::kFreeDistance, found.freeDistance);
  found.freeTrianglePoints = OlcPoints(OlcKind::kFreeTriangle, found.freeTriangle);
  found.faiTrianglePoints = OlcPoints(OlcKind::kFaiTriangle, found.faiTriangle);
  results = found;

  show("Optimization completed");
  const OlcClaim claim = BestOlcClaim(results);
  char text[96];
  std::snprintf(text, sizeof text, OlcBestResultText(claim.kind), claim.points);
  show(text);
  return OlcStatus::kCompleted;
}

// ---------------------------------------------------------------------------

struct OlcRun::Shared {
  std::vector<TrackPoint> points;
  TripStatusCallback status;
  OlcSearchOptions options;
  TripHaltFlag halt{false};
  OlcProgress progress;

  mutable std::mutex lock;
  std::condition_variable ended;
  bool resultsReady = false;
  bool threadEnded = false;
  std::optional<OlcStatus> outcome;
  OlcResults results;
};

namespace {

// Marks the run ended however the thread leaves, so that nobody waits for it
// forever.
class EndMark {
 public:
  EndMark(std::mutex& lock, std::condition_variable& cv, bool& flag)
      : lock_(lock), cv_(cv), flag_(flag) {}
  ~EndMark() {
    std::lock_guard<std::mutex> guard(lock_);
    flag_ = true;
    cv_.notify_all();
  }
  EndMark(const EndMark&) = delete;
  EndMark& operator=(const EndMark&) = delete;

 private:
  std::mutex& lock_;
  std::condition_variable& cv_;
  bool& flag_;
};

}  // namespace

std::unique_ptr<OlcRun> OlcRun::Start(std::vector<TrackPoint> points, TripStatusCallback status,
                                      OlcSearchOptions options) {
  std::unique_ptr<OlcRun> run(new OlcRun);
  auto shared = std::make_shared<Shared>();
  shared->points = std::move(points);
  shared->status = std::move(status);
  shared->options = options;
  run->shared_ = shared;
  try {
    run->thread_ = std::thread([shared] {
      EndMark mark(shared->lock, shared->ended, shared->threadEnded);
      OlcResults results;
      OlcStatus outcome = OlcStatus::kOutOfMemory;
      try {
        outcome = OlcOptimise(shared->points, results, shared->status, shared->halt,
                              &shared->progress, shared->options);
      } catch (const std::bad_alloc&) {
        outcome = OlcStatus::kOutOfMemory;
      } catch (...) {
        outcome = OlcStatus::kHalted;
      }
      std::lock_guard<std::mutex> guard(shared->lock);
      shared->outcome = outcome;
      if (outcome == OlcStatus::kCompleted) {
        shared->results = std::move(results);
        shared->resultsReady = true;
      }
    });
  } catch (const std::system_error&) {
    return nullptr;
  }
  return run;
}

OlcRun::~OlcRun() {
  Halt();
  if (thread_.joinable()) thread_.join();
}

void OlcRun::Halt() {
  shared_->halt = true;
}
bool OlcRun::Halted() const {
  return shared_->halt.load();
}

bool OlcRun::ResultsReady() const {
  std::lock_guard<std::mutex> guard(shared_->lock);
  return shared_->resultsReady;
}

bool OlcRun::ThreadEnded() const {
  std::lock_guard<std::mutex> guard(shared_->lock);
  return shared_->threadEnded;
}

bool OlcRun::WaitEnded(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> guard(shared_->lock);
  return shared_->ended.wait_for(guard, timeout, [this] { return shared_->threadEnded; });
}

std::string OlcRun::ProgressText() const {
  return OlcProgressText(shared_->progress.done.load(), shared_->progress.total.load());
}

std::optional<OlcResults> OlcRun::Results() const {
  std::lock_guard<std::mutex> guard(shared_->lock);
  if (!shared_->resultsReady) return std::nullopt;
  return shared_->results;
}

std::optional<OlcStatus> OlcRun::Status() const {
  std::lock_guard<std::mutex> guard(shared_->lock);
  return shared_->outcome;
}

const std::vector<TrackPoint>& OlcRun::Points() const {
  return shared_->points;
}

}  // namespace skylode
