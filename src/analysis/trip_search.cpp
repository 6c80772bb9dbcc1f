#include "analysis/trip_search.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <system_error>
#include <thread>

#include <sys/mman.h>

#include "analysis/geodesy.h"
#include "records/angles.h"
#include "records/numeric.h"

namespace skylode {

namespace {

constexpr int64_t kFullCircle = int64_t{1} << 32;  // semicircles
constexpr int32_t kGapStart = 999'999'999;

bool Halted(const TripHaltFlag* halt) { return halt != nullptr && halt->load(std::memory_order_relaxed); }

int ThreadCount(int requested) {
  if (requested > 0) return std::min(requested, 64);
  const unsigned hw = std::thread::hardware_concurrency();
  return hw == 0 ? 1 : static_cast<int>(std::min(hw, 16u));
}

// Runs body(worker) on `threads` workers, the last one on the calling thread.
// A thread that cannot be started leaves its share to the others, so the
// result never depends on how many threads actually ran.
template <typename Body>
void RunWorkers(int threads, Body&& body) {
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) {
    try {
      pool.emplace_back(body, t);
    } catch (const std::system_error&) {
      break;
    }
  }
  body(0);
  for (std::thread& th : pool) th.join();
}

}  // namespace

// ---------------------------------------------------------------------------
// Sampling and projection

void SampleAndProject(std::span<const TrackPoint> points, TripSearchWork& work) {
  const int64_t n = static_cast<int64_t>(points.size());
  work.index.clear();
  if (n <= kTripSampleLimit) {
    for (int64_t i = 0; i < n; ++i) work.index.push_back(static_cast<int32_t>(i));
  } else {
    // Bresenham-like spreading: exactly 2000 positions, the first one included.
    int64_t acc = n;
    for (int64_t i = 0; i < n; ++i) {
      acc += kTripSampleLimit - 1;
      if (acc >= n) {
        acc -= n;
        work.index.push_back(static_cast<int32_t>(i));
      }
    }
  }
  work.m = static_cast<int32_t>(work.index.size());
  work.x.assign(work.m, 0.0);
  work.y.assign(work.m, 0.0);
  if (n == 0) return;

  // The middle of the shortest arc of longitudes that holds the whole track:
  // the complement of the widest empty gap on the circle. For a track that
  // neither spans half the globe nor crosses 180 degrees this is the plain
  // (least + greatest) / 2, computed without the 32-bit overflow.
  std::vector<int64_t> lons(points.size());
  for (size_t i = 0; i < points.size(); ++i) lons[i] = points[i].longitude;
  std::sort(lons.begin(), lons.end());
  lons.erase(std::unique(lons.begin(), lons.end()), lons.end());
  int64_t twiceMiddle = lons.front() + lons.back();
  int64_t widest = lons.front() + kFullCircle - lons.back();
  for (size_t t = 0; t + 1 < lons.size(); ++t) {
    const int64_t g = lons[t + 1] - lons[t];
    if (g > widest) {
      widest = g;
      twiceMiddle = lons[t + 1] + lons[t] + kFullCircle;
    }
  }
  // Everything in doubled semicircles, so that the half of an odd sum is exact.
  auto wrapTwice = [](int64_t v) {
    v %= 2 * kFullCircle;
    if (v < -kFullCircle) v += 2 * kFullCircle;
    if (v >= kFullCircle) v -= 2 * kFullCircle;
    return v;
  };
  twiceMiddle = wrapTwice(twiceMiddle);
  work.centralMeridian = 0.5 * static_cast<double>(twiceMiddle) * kSemicirclesToRadians;

  for (int32_t s = 0; s < work.m; ++s) {
    const TrackPoint& p = points[work.index[s]];
    const int64_t rel2 = wrapTwice(2 * static_cast<int64_t>(p.longitude) - twiceMiddle);
    // The projection only depends on the distance from the central meridian,
    // so positions go in relative to it and the meridian itself is 0.
    const GeoPosition geo{SemicirclesToRadians(p.latitude),
                          0.5 * static_cast<double>(rel2) * kSemicirclesToRadians};
    const LocalTm tm = ToLocalTm(geo, 0.0);
    work.x[s] = tm.x;
    work.y[s] = tm.y;
  }
}

// ---------------------------------------------------------------------------
// Matrices

void TripMatrix::Free::operator()(int32_t* p) const { std::free(p); }

bool TripMatrix::Allocate(size_t count) {
  Release();
  if (count == 0) return true;
  if (count > std::numeric_limits<size_t>::max() / sizeof(int32_t) / 2) return false;
  constexpr size_t kHugePage = size_t{2} << 20;
  size_t bytes = count * sizeof(int32_t);
  void* p = nullptr;
  if (bytes >= kHugePage) {
    bytes = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    p = std::aligned_alloc(kHugePage, bytes);
#ifdef MADV_HUGEPAGE
    if (p != nullptr) madvise(p, bytes, MADV_HUGEPAGE);  // only a hint; failure changes nothing
#endif
  } else {
    p = std::malloc(bytes);
  }
  if (p == nullptr) return false;
  data_.reset(static_cast<int32_t*>(p));
  size_ = count;
  return true;
}

void TripMatrix::Release() {
  data_.reset();
  size_ = 0;
}

TripMatrix::TripMatrix(const TripMatrix& other) { *this = other; }

TripMatrix& TripMatrix::operator=(const TripMatrix& other) {
  if (this == &other) return *this;
  if (!Allocate(other.size_)) throw std::bad_alloc();
  if (size_ != 0) std::memcpy(data_.get(), other.data_.get(), size_ * sizeof(int32_t));
  return *this;
}

namespace {

size_t GapCells(int32_t m) { return static_cast<size_t>(m) * (static_cast<size_t>(m) + 1) / 2; }

bool AllocateMatrices(TripSearchWork& work) {
  const size_t m = static_cast<size_t>(work.m);
  try {
    work.bestFrom.assign(m, 0);
    work.bestFromArg.assign(m, 0);
    work.bestTo.assign(m, 0);
    work.bestToArg.assign(m, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (work.d.Allocate(m * m) && work.gap.Allocate(GapCells(work.m))) return true;
  work.d.Release();
  work.gap.Release();
  return false;
}

int32_t PlanarDistance(double dx, double dy) {
  const double v = std::sqrt(dx * dx + dy * dy);
  // A position the projection cannot place (NaN, infinity) counts as far away.
  return std::min(ClampRound<int32_t>(v, kTripMatrixDistanceCap), kTripMatrixDistanceCap);
}

}  // namespace

bool BuildDistanceMatrix(TripSearchWork& work, const TripHaltFlag* halt, int threads) {
  const int32_t m = work.m;
  if (work.d.size() != static_cast<size_t>(m) * m && !AllocateMatrices(work)) return false;

  std::atomic<int32_t> nextRow{0};
  RunWorkers(ThreadCount(threads) > 1 && m > 256 ? ThreadCount(threads) : 1, [&](int) {
    for (int32_t i; (i = nextRow.fetch_add(1)) < m;) {
      if (Halted(halt)) return;
      int32_t* row = &work.d[static_cast<size_t>(i) * m];
      row[i] = 0;
      for (int32_t k = i + 1; k < m; ++k) {
        const int32_t v = PlanarDistance(work.x[k] - work.x[i], work.y[k] - work.y[i]);
        row[k] = v;
        work.d[static_cast<size_t>(k) * m + i] = v;
      }
    }
  });
  if (Halted(halt)) return true;

  // The first maximum wins in both directions.
  for (int32_t i = 0; i < m; ++i) {
    work.bestFrom[i] = 0;
    work.bestFromArg[i] = i + 1 < m ? i + 1 : i;
    work.bestTo[i] = 0;
    work.bestToArg[i] = i > 0 ? i - 1 : 0;
  }
  for (int32_t i = 0; i < m; ++i) {
    for (int32_t k = i + 1; k < m; ++k) {
      const int32_t v = work.D(i, k);
      if (v > work.bestFrom[i]) {
        work.bestFrom[i] = v;
        work.bestFromArg[i] = k;
      }
    }
  }
  for (int32_t k = 0; k < m; ++k) {
    const int32_t* col = &work.d[static_cast<size_t>(k) * m];  // D(i, k) = D(k, i)
    for (int32_t i = 0; i < k; ++i) {
      if (col[i] > work.bestTo[k]) {
        work.bestTo[k] = col[i];
        work.bestToArg[k] = i;
      }
    }
  }
  return true;
}

bool BuildGapMatrix(TripSearchWork& work, const TripHaltFlag* halt) {
  const int32_t m = work.m;
  if (work.d.size() != static_cast<size_t>(m) * m) return false;
  if (work.gap.size() != GapCells(m) && !work.gap.Allocate(GapCells(m))) return false;
  if (m < 2) return true;
  auto at = [&work](int32_t i, int32_t k) { return work.GapOffset(i) + k; };

  int32_t least = kGapStart;
  for (int32_t k = m - 1; k >= 1; --k) {
    least = std::min(least, work.D(0, k));
    work.gap[at(0, k)] = least;
  }
  for (int32_t i = 1; i < m - 1; ++i) {
    if (Halted(halt)) return true;
    const int32_t* row = &work.d[static_cast<size_t>(i) * m];
    int32_t* g = &work.gap[at(i, 0)];
    const int32_t* above = &work.gap[at(i - 1, 0)];
    int32_t right = kGapStart;  // G(i, k + 1)
    for (int32_t k = m - 1; k > i; --k) {
      right = std::min({row[k], right, above[k]});
      g[k] = right;
    }
  }
  return true;
}

int32_t TripSearchWork::GArg(int32_t i, int32_t k) const {
  // The matrix takes, in this order, D(i, k), G(i, k + 1) and G(i - 1, k),
  // each only when strictly smaller; the first row keeps the farther of
  // equal distances. Walking those choices back ends at the pair itself.
  for (;;) {
    if (i == 0) {
      if (k + 1 < m && !(D(0, k) < G(0, k + 1))) {
        ++k;
        continue;
      }
      return k;
    }
    int32_t v = D(i, k);
    int from = 0;
    if (k + 1 < m && G(i, k + 1) < v) {
      v = G(i, k + 1);
      from = 1;
    }
    if (G(i - 1, k) < v) from = 2;
    if (from == 0) return i * 65536 + k;
    if (from == 1) {
      ++k;
    } else {
      --i;
    }
  }
}

// ---------------------------------------------------------------------------
// Coarse searches. Every "greatest, ties to the later" below is the greatest
// (score, position...) in the order the positions are enumerated.

CoarseChoice CoarseGreatestDistance2(const TripSearchWork& w) {
  CoarseChoice c;
  int64_t best = -1;
  for (int32_t i = 0; i + 1 < w.m; ++i) {
    if (w.bestFrom[i] >= best) {
      best = w.bestFrom[i];
      c = {true, best, {i, w.bestFromArg[i], 0, 0, 0}};
    }
  }
  return c;
}

CoarseChoice CoarseGreatestDistance3(const TripSearchWork& w) {
  CoarseChoice c;
  int64_t best = -1;
  for (int32_t k = 1; k + 1 < w.m; ++k) {
    const int64_t score = int64_t{w.bestTo[k]} + w.bestFrom[k];
    if (score >= best) {
      best = score;
      c = {true, best, {w.bestToArg[k], k, w.bestFromArg[k], 0, 0}};
    }
  }
  return c;
}

CoarseChoice CoarseGreatestDistance4(const TripSearchWork& w, const TripHaltFlag* halt) {
  CoarseChoice c;
  int64_t best = -1;
  int32_t b1 = -1, b2 = -1;
  for (int32_t k1 = 1; k1 + 2 < w.m; ++k1) {
    if (Halted(halt)) return {};
    const int32_t* row = &w.d[static_cast<size_t>(k1) * w.m];
    const int64_t left = w.bestTo[k1];
    for (int32_t k2 = k1 + 1; k2 + 1 < w.m; ++k2) {
      const int64_t score = left + row[k2] + w.bestFrom[k2];
      if (score >= best) {
        best = score;
        b1 = k1;
        b2 = k2;
      }
    }
  }
  if (b1 < 0) return c;
  return {true, best, {w.bestToArg[b1], b1, b2, w.bestFromArg[b2], 0}};
}

CoarseChoice CoarseGreatestDistance5(const TripSearchWork& w, const TripHaltFlag* halt) {
  CoarseChoice c;
  int64_t best = -1;
  for (int32_t k = 2; k + 2 < w.m; ++k) {
    if (Halted(halt)) return {};
    const int32_t* row = &w.d[static_cast<size_t>(k) * w.m];
    int64_t left = -1, right = -1;
    int32_t bb = 0, bd = 0;
    for (int32_t b = 1; b < k; ++b) {
      const int64_t v = int64_t{w.bestTo[b]} + row[b];
      if (v >= left) {
        left = v;
        bb = b;
      }
    }
    for (int32_t d = k + 1; d + 1 < w.m; ++d) {
      const int64_t v = int64_t{row[d]} + w.bestFrom[d];
      if (v >= right) {
        right = v;
        bd = d;
      }
    }
    if (left + right >= best) {
      best = left + right;
      c = {true, best, {w.bestToArg[bb], bb, k, bd, w.bestFromArg[bd]}};
    }
  }
  return c;
}

CoarseChoice CoarseOutAndReturn(const TripSearchWork& w, uint32_t loopFlightGap, const TripHaltFlag* halt) {
  CoarseChoice c;
  if (loopFlightGap == 0) return c;
  const int64_t gap = loopFlightGap;
  int64_t best = -999'999'999;
  bool any = false;
  for (int32_t i = 0; i + 2 < w.m; ++i) {
    if (Halted(halt)) return {};
    const int32_t* row = &w.d[static_cast<size_t>(i) * w.m];
    // For a fixed start and end the best turn is the farthest one from the
    // start, the later of equals; it grows with the end, so one pass suffices.
    int32_t turnMax = -1, turn = -1;
    for (int32_t k = i + 2; k < w.m; ++k) {
      if (row[k - 1] >= turnMax) {
        turnMax = row[k - 1];
        turn = k - 1;
      }
      if (row[k] >= gap) continue;
      const int64_t score = 2 * int64_t{turnMax} - row[k];
      if (score >= best) {
        best = score;
        any = true;
        c.pos = {i, turn, k, 0, 0};
      }
    }
  }
  if (!any || best < 0) return {};
  c.found = true;
  c.score = best;
  return c;
}

// ---------------------------------------------------------------------------
// Triangles

namespace {

struct TriangleCandidate {
  int64_t score = -1;
  int32_t i = -1, j = -1, k = -1;
  bool found = false;
};

// Greater score, then the later (i, k, j) in enumeration order.
bool Beats(int64_t score, int32_t i, int32_t k, int32_t j, const TriangleCandidate& c) {
  if (!c.found) return true;
  if (score != c.score) return score > c.score;
  if (i != c.i) return i > c.i;
  if (k != c.k) return k > c.k;
  return j > c.j;
}

void Offer(TriangleCandidate& c, int64_t score, int32_t i, int32_t k, int32_t j) {
  if (Beats(score, i, k, j, c)) c = {score, i, j, k, true};
}

void RaiseTo(std::atomic<int64_t>& bound, int64_t v) {
  int64_t cur = bound.load(std::memory_order_relaxed);
  while (v > cur && !bound.compare_exchange_weak(cur, v, std::memory_order_relaxed)) {
  }
}

// The greatest perimeter whose FAI leg minimum 7P/25 still lets a leg of
// `leg` metres pass.
int64_t FaiPerimeterLimit(int32_t leg) { return (25 * (int64_t{leg} + 1) - 1) / 7; }

struct InnerBest {
  int32_t flatSum = std::numeric_limits<int32_t>::min();
  int32_t flatJ = -1;
  int32_t faiSum = std::numeric_limits<int32_t>::min();
  int32_t faiJ = -1;
};

// Second turnpoints are scanned in blocks; the greatest distance of every row
// within each block bounds whole blocks at once.
constexpr int32_t kBlock = 32;

#if defined(__GNUC__) || defined(__clang__)
#define SKYLODE_TRIP_VECTORS 1
// Four lanes: the width every x86-64 and ARM64 processor has natively, so the
// compiler never falls back to lane-by-lane code.
typedef int32_t Lanes __attribute__((vector_size(16)));
constexpr int kLanes = 4;

Lanes Splat(int32_t v) { return Lanes{v, v, v, v}; }
#endif

// What one (first, third) turnpoint pair has to beat, and its fixed parts.
struct PairBounds {
  int32_t dik = 0;        // D(i, k), the closing leg
  int32_t gap = 0;        // G(i, k)
  int64_t flatBound = 0;  // best flat score anyone has found so far
  int64_t faiBound = 0;   // best FAI score so far
  int64_t faiLimit = 0;   // the greatest perimeter an FAI leg of dik allows
};

// Scans j in [lo, hi) and folds the results into r: the greatest
// D(i, j) + D(j, k), and the greatest among those whose legs are all at least
// 7/25 of the perimeter; the later j wins ties.
void ScanSecondTurnpoints(const int32_t* rowI, const int32_t* rowK, int32_t lo, int32_t hi, int32_t dik,
                          bool wantFai, InnerBest& r) {
  int32_t j = lo;
#ifdef SKYLODE_TRIP_VECTORS
  if (hi - lo >= kLanes) {
    // Sums are never negative, so "none yet" can sit far below them and
    // s >= v can be tested as s > v - 1, the comparison the lanes have.
    const int32_t none = std::numeric_limits<int32_t>::min() / 2;
    const Lanes one = Splat(1), step = Splat(kLanes), vdik = Splat(dik), v25dik = Splat(25 * (dik + 1));
    Lanes vFlat = Splat(none), vFai = Splat(none), vFlatJ = Splat(-1), vFaiJ = Splat(-1);
    Lanes vj = Lanes{j, j + 1, j + 2, j + 3};
    for (; j + kLanes <= hi; j += kLanes) {
      Lanes a, b;
      __builtin_memcpy(&a, rowI + j, sizeof a);
      __builtin_memcpy(&b, rowK + j, sizeof b);
      const Lanes s = a + b;
      Lanes m = s > vFlat - one;
      vFlat = (s & m) | (vFlat & ~m);
      vFlatJ = (vj & m) | (vFlatJ & ~m);
      if (wantFai) {
        // Leg >= floor(7P/25)  <=>  25 (leg + 1) > 7P, all in integers.
        const Lanes p = s + vdik;
        const Lanes p7 = (p << 3) - p;
        const Lanes a25 = (a << 4) + (a << 3) + a + 25;
        const Lanes b25 = (b << 4) + (b << 3) + b + 25;
        m = (a25 > p7) & (b25 > p7) & (v25dik > p7) & (s > vFai - one);
        vFai = (s & m) | (vFai & ~m);
        vFaiJ = (vj & m) | (vFaiJ & ~m);
      }
      vj += step;
    }
    for (int l = 0; l < kLanes; ++l) {
      if (vFlatJ[l] >= 0 && (vFlat[l] > r.flatSum || (vFlat[l] == r.flatSum && vFlatJ[l] > r.flatJ))) {
        r.flatSum = vFlat[l];
        r.flatJ = vFlatJ[l];
      }
      if (vFaiJ[l] >= 0 && (vFai[l] > r.faiSum || (vFai[l] == r.faiSum && vFaiJ[l] > r.faiJ))) {
        r.faiSum = vFai[l];
        r.faiJ = vFaiJ[l];
      }
    }
  }
#endif
  const int64_t limit25 = 25 * (int64_t{dik} + 1);
  for (; j < hi; ++j) {
    const int32_t a = rowI[j], b = rowK[j];
    const int32_t s = a + b;
    if (s > r.flatSum || (s == r.flatSum && j > r.flatJ)) {
      r.flatSum = s;
      r.flatJ = j;
    }
    if (wantFai) {
      const int64_t p7 = 7 * (int64_t{s} + dik);
      if (25 * (int64_t{a} + 1) > p7 && 25 * (int64_t{b} + 1) > p7 && limit25 > p7 &&
          (s > r.faiSum || (s == r.faiSum && j > r.faiJ))) {
        r.faiSum = s;
        r.faiJ = j;
      }
    }
  }
}

// All second turnpoints j in (i, k), block by block. A block whose bound is
// strictly below both best scores found so far can hold neither the answer
// nor a tie with it, so it is skipped. What the other blocks give is still a
// real candidate, and a pair whose own best sat in a skipped block is below
// the answer whatever it offers.
InnerBest BestSecondTurnpoint(const int32_t* rowI, const int32_t* rowK, const int32_t* blockI,
                              const int32_t* blockK, int32_t i, int32_t k, const PairBounds& pb) {
  InnerBest r;
  const int64_t fixed = int64_t{pb.dik} - pb.gap;
  const int64_t faiCap = pb.faiLimit - pb.gap;
  for (int32_t b = (i + 1) / kBlock; b * kBlock < k; ++b) {
    const int32_t lo = std::max(i + 1, b * kBlock);
    const int32_t hi = std::min(k, (b + 1) * kBlock);
    const int64_t ub = int64_t{blockI[b]} + blockK[b] + fixed;
    const bool flat = ub >= pb.flatBound;
    const bool fai = std::min(ub, faiCap) >= pb.faiBound;
    if (!flat && !fai) continue;
    ScanSecondTurnpoints(rowI, rowK, lo, hi, pb.dik, fai, r);
  }
  return r;
}

}  // namespace

CoarseTriangles CoarseTriangleSearch(const TripSearchWork& w, uint32_t loopFlightGap, const TripHaltFlag* halt,
                                     int threads) {
  if (loopFlightGap == 0) return {};
  TriangleRules rules;
  rules.gapBelow = loopFlightGap;
  return CoarseTriangleSearch(w, rules, halt, threads);
}

CoarseTriangles CoarseTriangleSearch(const TripSearchWork& w, const TriangleRules& rules, const TripHaltFlag* halt,
                                     int threads, std::atomic<int64_t>* visited) {
  CoarseTriangles out;
  const int32_t m = w.m;
  if (m < 3) return out;
  const int64_t gap = rules.gapBelow;
  const int64_t share = rules.perimeterOverGap;

  // blockMax(r, b) = greatest D(r, j) over the j of block b.
  const int32_t blocks = (m + kBlock - 1) / kBlock;
  std::vector<int32_t> blockMax(static_cast<size_t>(m) * blocks, 0);
  // colBound(k, b) = greatest D(j, k) over b * kBlock <= j < k. With the
  // running maximum of row i it bounds every perimeter through (i, k) from
  // above, taking b as the block of i + 1, so whole rows of second
  // turnpoints can be skipped when they cannot reach the best score found so
  // far. Skipping only what is strictly below that score leaves the choice
  // and its tie-break unchanged; a bound a few positions too wide only skips
  // a little less, and needs a table the size of blockMax instead of another
  // whole matrix.
  std::vector<int32_t> colBound(static_cast<size_t>(m) * blocks, 0);
  for (int32_t r = 0; r < m; ++r) {
    const int32_t* row = &w.d[static_cast<size_t>(r) * m];
    for (int32_t b = 0; b < blocks; ++b) {
      int32_t v = 0;
      for (int32_t j = b * kBlock; j < std::min(m, (b + 1) * kBlock); ++j) v = std::max(v, row[j]);
      blockMax[static_cast<size_t>(r) * blocks + b] = v;
    }
    int32_t run = 0;
    for (int32_t j = r - 1; j >= 0; --j) {
      run = std::max(run, row[j]);
      if (j % kBlock == 0) colBound[static_cast<size_t>(r) * blocks + j / kBlock] = run;
    }
  }

  std::atomic<int64_t> flatBound{-1}, faiBound{-1};
  std::atomic<bool> stopped{false};

  auto searchRow = [&](int32_t i, int32_t kStep, int32_t kPhase, TriangleCandidate& flat, TriangleCandidate& fai) {
    const int32_t* rowI = &w.d[static_cast<size_t>(i) * m];
    const int32_t* gapRow = &w.gap[w.GapOffset(i)];
    int32_t rowMax = 0;
    for (int32_t k = i + 2; k < m; ++k) {
      rowMax = std::max(rowMax, rowI[k - 1]);
      if (kStep > 1 && k % kStep != kPhase) continue;
      const int32_t g = gapRow[k];
      if (g >= gap) continue;
      const int32_t dik = rowI[k];
      const int32_t* rowK = &w.d[static_cast<size_t>(k) * m];
      PairBounds pb{dik, g, -1, -1, FaiPerimeterLimit(dik)};
      pb.flatBound = flatBound.load(std::memory_order_relaxed);
      pb.faiBound = faiBound.load(std::memory_order_relaxed);
      const int64_t sumBound = int64_t{rowMax} + colBound[static_cast<size_t>(k) * blocks + (i + 1) / kBlock];
      // No second turnpoint can give a perimeter long enough for this gap.
      if (share > 0 && sumBound + dik <= share * g) continue;
      const int64_t ub = sumBound + dik - g;
      if (ub < pb.flatBound && std::min(ub, pb.faiLimit - g) < pb.faiBound) continue;
      const InnerBest r = BestSecondTurnpoint(rowI, rowK, &blockMax[static_cast<size_t>(i) * blocks],
                                              &blockMax[static_cast<size_t>(k) * blocks], i, k, pb);
      // The best second turnpoint has the longest perimeter of its kind: when
      // that one does not close, no other of the kind does either.
      auto closes = [&](int32_t sum) { return share <= 0 || int64_t{sum} + dik > share * g; };
      if (r.flatJ >= 0 && closes(r.flatSum)) {
        const int64_t score = int64_t{r.flatSum} + dik - g;
        Offer(flat, score, i, k, r.flatJ);
        RaiseTo(flatBound, score);
      }
      if (r.faiJ >= 0 && closes(r.faiSum)) {
        const int64_t score = int64_t{r.faiSum} + dik - g;
        Offer(fai, score, i, k, r.faiJ);
        RaiseTo(faiBound, score);
      }
    }
  };

  const int workers = ThreadCount(threads);
  std::vector<TriangleCandidate> flats(workers), fais(workers);

  // A coarse first pass over a grid of first and third turnpoints finds
  // good triangles early, so that the full pass can skip most of the rest.
  if (m > 128) {
    constexpr int32_t kGrid = 16;
    std::atomic<int32_t> next{0};
    RunWorkers(workers, [&](int t) {
      for (int32_t r; (r = next.fetch_add(1)) * kGrid < m - 2;) {
        if (Halted(halt)) {
          stopped = true;
          return;
        }
        searchRow(r * kGrid, kGrid, 0, flats[t], fais[t]);
      }
    });
  }

  // Rows are handed out one at a time: their lengths differ a lot.
  std::atomic<int32_t> next{0};
  RunWorkers(workers, [&](int t) {
    for (int32_t i; !stopped && (i = next.fetch_add(1)) < m - 2;) {
      if (Halted(halt)) {
        stopped = true;
        return;
      }
      searchRow(i, 1, 0, flats[t], fais[t]);
      if (visited != nullptr) {
        const int64_t rest = m - i - 1;
        visited->fetch_add(rest * (rest - 1) / 2, std::memory_order_relaxed);
      }
    }
  });
  if (stopped || Halted(halt)) return {};

  TriangleCandidate flat, fai;
  for (int t = 0; t < workers; ++t) {
    if (flats[t].found) Offer(flat, flats[t].score, flats[t].i, flats[t].k, flats[t].j);
    if (fais[t].found) Offer(fai, fais[t].score, fais[t].i, fais[t].k, fais[t].j);
  }
  auto toChoice = [&](const TriangleCandidate& c) {
    CoarseChoice choice;
    if (!c.found || c.score < 0) return choice;
    const int32_t packed = w.GArg(c.i, c.k);
    choice.found = true;
    choice.score = c.score;
    choice.pos = {packed / 65536, c.i, c.j, c.k, packed % 65536};
    return choice;
  };
  out.flat = toChoice(flat);
  out.fai = toChoice(fai);
  return out;
}

// ---------------------------------------------------------------------------
// Refinement

namespace {

// The full-track candidates of each coarse position and the ellipsoidal
// distances between the candidates of any two of them.
class Candidates {
 public:
  Candidates(std::span<const TrackPoint> points, const TripSearchWork& w, const CoarseChoice& c, int q)
      : q_(q) {
    const int32_t n = static_cast<int32_t>(points.size());
    for (int u = 0; u < q; ++u) {
      const int32_t p = w.index[c.pos[u]];
      count_[u] = 0;
      for (int32_t v = std::max(0, p - 2); v <= std::min(n - 1, p + 2); ++v) cand_[u][count_[u]++] = v;
    }
    for (int u = 0; u < q; ++u)
      for (int v = u + 1; v < q; ++v)
        for (int a = 0; a < count_[u]; ++a)
          for (int b = 0; b < count_[v]; ++b) dist_[u][v][a][b] = FixDistance(points, cand_[u][a], cand_[v][b]);
  }

  // Calls f(choice) for every combination in ascending order, each position
  // after the one before it (or on it, where the order lets it touch).
  template <typename F>
  void ForEach(const RefineOrder& order, F&& f) const {
    std::array<int, 5> pick{};
    Walk(0, -1, order, pick, f);
  }

  int32_t Index(int u, int a) const { return cand_[u][a]; }
  double Dist(int u, int v, const std::array<int, 5>& pick) const {
    if (u > v) std::swap(u, v);
    return u == v ? 0.0 : dist_[u][v][pick[u]][pick[v]];
  }

 private:
  template <typename F>
  void Walk(int u, int32_t after, const RefineOrder& order, std::array<int, 5>& pick, F& f) const {
    if (u == q_) {
      f(pick);
      return;
    }
    for (int a = 0; a < count_[u]; ++a) {
      const bool touches = u > 0 && order.touches[u];
      if (touches ? cand_[u][a] < after : cand_[u][a] <= after) continue;
      pick[u] = a;
      Walk(u + 1, cand_[u][a], order, pick, f);
    }
  }

  int q_;
  std::array<int, 5> count_{};
  std::array<std::array<int32_t, 5>, 5> cand_{};
  double dist_[5][5][5][5] = {};
};

class PickedLegs final : public RefineLegs {
 public:
  PickedLegs(const Candidates& c, const std::array<int, 5>& pick) : c_(c), pick_(pick) {}
  double Leg(int u, int v) const override { return c_.Dist(u, v, pick_); }

 private:
  const Candidates& c_;
  const std::array<int, 5>& pick_;
};

}  // namespace

double FixDistance(std::span<const TrackPoint> points, int32_t a, int32_t b) {
  const TrackPoint& p = points[a];
  const TrackPoint& r = points[b];
  return GeoDistanceSemicircles(p.latitude, p.longitude, r.latitude, r.longitude);
}

std::array<int32_t, 5> CoarseIndices(const TripSearchWork& w, const CoarseChoice& c, int count) {
  std::array<int32_t, 5> out{};
  for (int u = 0; u < count && u < 5; ++u) out[u] = w.index[c.pos[u]];
  return out;
}

std::optional<RefinedChoice> RefineChoice(std::span<const TrackPoint> points, const TripSearchWork& w,
                                          const CoarseChoice& c, int count, const RefineOrder& order,
                                          const RefineScore& score, double floor) {
  if (!c.found || count < 2 || count > 5) return std::nullopt;
  const Candidates cand(points, w, c, count);
  double best = floor;
  std::array<int, 5> bestPick{};
  bool any = false;
  cand.ForEach(order, [&](const std::array<int, 5>& pick) {
    const std::optional<double> v = score(PickedLegs(cand, pick));
    if (v && *v >= best) {
      best = *v;
      bestPick = pick;
      any = true;
    }
  });
  if (!any || !(best > floor)) return std::nullopt;
  RefinedChoice r;
  for (int u = 0; u < count; ++u) r.index[u] = cand.Index(u, bestPick[u]);
  r.score = best;
  return r;
}

TripResult RefineDistance(std::span<const TrackPoint> points, const TripSearchWork& w, const CoarseChoice& c,
                          int count) {
  TripResult r;
  if (!c.found || count < 2 || count > 5) return r;
  const auto refined = RefineChoice(
      points, w, c, count, {},
      [count](const RefineLegs& legs) -> std::optional<double> {
        double sum = 0;
        for (int u = 0; u + 1 < count; ++u) sum += legs.Leg(u, u + 1);
        return sum;
      },
      -1);
  r.index = refined ? refined->index : CoarseIndices(w, c, count);
  for (int u = 0; u + 1 < count; ++u) {
    r.legs[u] = FixDistance(points, r.index[u], r.index[u + 1]);
    r.total += r.legs[u];
  }
  return r;
}

TripResult RefineOutAndReturn(std::span<const TrackPoint> points, const TripSearchWork& w, const CoarseChoice& c,
                              uint32_t loopFlightGap) {
  TripResult r;
  if (!c.found) return r;
  const auto refined = RefineChoice(
      points, w, c, 3, {},
      [loopFlightGap](const RefineLegs& legs) -> std::optional<double> {
        const double closing = legs.Leg(0, 2);
        if (closing > loopFlightGap) return std::nullopt;
        return 2 * legs.Leg(0, 1) - closing;
      },
      0);
  r.index = refined ? refined->index : CoarseIndices(w, c, 3);
  r.legs[0] = FixDistance(points, r.index[0], r.index[1]);
  r.legs[1] = FixDistance(points, r.index[0], r.index[2]);
  r.total = 2 * r.legs[0] - r.legs[1];
  return r;
}

TripResult TriangleResult(std::span<const TrackPoint> points, const std::array<int32_t, 5>& index) {
  TripResult r;
  r.index = index;
  r.legs[0] = FixDistance(points, r.index[1], r.index[2]);
  r.legs[1] = FixDistance(points, r.index[2], r.index[3]);
  r.legs[2] = FixDistance(points, r.index[3], r.index[1]);
  r.legs[3] = FixDistance(points, r.index[0], r.index[4]);
  r.total = r.legs[0] + r.legs[1] + r.legs[2] - r.legs[3];
  return r;
}

TripResult RefineTriangle(std::span<const TrackPoint> points, const TripSearchWork& w, const CoarseChoice& c,
                          uint32_t loopFlightGap, bool fai) {
  if (!c.found) return {};
  const auto refined = RefineChoice(
      points, w, c, 5, {},
      [loopFlightGap, fai](const RefineLegs& legs) -> std::optional<double> {
        const double closing = legs.Leg(0, 4);
        if (!(closing < loopFlightGap)) return std::nullopt;
        const double l1 = legs.Leg(1, 2), l2 = legs.Leg(2, 3), l3 = legs.Leg(1, 3);
        const double perimeter = l1 + l2 + l3;
        if (fai) {
          const double least = 0.28 * perimeter;
          if (l1 < least || l2 < least || l3 < least) return std::nullopt;
        }
        return perimeter - closing;
      },
      0);
  return TriangleResult(points, refined ? refined->index : CoarseIndices(w, c, 5));
}

// ---------------------------------------------------------------------------

int RunTripSearch(std::span<const TrackPoint> points, TripDistances& result, const TripSearchOptions& options,
                  const TripStatusCallback& status, const TripHaltFlag& halt) {
  const auto started = std::chrono::steady_clock::now();
  result = {};
  auto show = [&](std::string_view text) {
    if (status) status(text);
  };

  TripSearchWork work;
  SampleAndProject(points, work);
  if (!AllocateMatrices(work)) return -1;

  show("Computing distance matrix");
  BuildDistanceMatrix(work, &halt, options.threads);
  const uint32_t gap = options.loopFlightGap;
  TripDistances found;
  // Each step runs only when the halt flag is still clear; a halted step
  // leaves its results 0 and the run still reports its completion.
  if (!halt) {
    show("Computing greatest distance (2 points)");
    found.open = RefineDistance(points, work, CoarseGreatestDistance2(work), 2);
  }
  if (!halt) {
    show("Computing greatest distance (3 points)");
    found.three = RefineDistance(points, work, CoarseGreatestDistance3(work), 3);
  }
  if (!halt) {
    show("Computing greatest distance (4 points)");
    found.four = RefineDistance(points, work, CoarseGreatestDistance4(work, &halt), 4);
  }
  if (!halt) {
    show("Computing greatest distance (5 points)");
    found.five = RefineDistance(points, work, CoarseGreatestDistance5(work, &halt), 5);
  }
  if (!halt && gap != 0) {
    show("Computing out-and-return distance");
    found.outAndReturn = RefineOutAndReturn(points, work, CoarseOutAndReturn(work, gap, &halt), gap);
  }
  if (!halt && gap != 0) {
    show("Computing triangle distance");
    BuildGapMatrix(work, &halt);
    const CoarseTriangles tri = CoarseTriangleSearch(work, gap, &halt, options.threads);
    if (!halt) {
      found.flatTriangle = RefineTriangle(points, work, tri.flat, gap, false);
      found.faiTriangle = RefineTriangle(points, work, tri.fai, gap, true);
    }
  }
  result = found;

  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
                      .count();
  char text[64];
  std::snprintf(text, sizeof text, "Computing completed (%lld.%03lld secs)", static_cast<long long>(ms / 1000),
                static_cast<long long>(ms % 1000));
  show(text);
  return 0;
}

}  // namespace skylode
