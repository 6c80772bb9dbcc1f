#include "trip_search_reference.h"

#include <cmath>

namespace skylode::reference {

ReferenceWork BuildReference(const TripSearchWork& s) {
  ReferenceWork w;
  const int32_t m = w.m = s.m;
  const size_t size = static_cast<size_t>(m) * (m + 1) / 2;
  w.D.assign(size, 0);
  w.bestFrom.assign(m, 0);
  w.bestFromArg.assign(m, 0);
  w.bestTo.assign(m, 0);
  w.bestToArg.assign(m, 0);
  for (int32_t k = 0; k < m; ++k) {
    w.bestTo[k] = 0;
    w.bestToArg[k] = k > 0 ? k - 1 : 0;
  }
  for (int32_t i = 0; i < m; ++i) {
    w.bestFrom[i] = 0;
    w.bestFromArg[i] = i + 1 < m ? i + 1 : i;
    for (int32_t k = i; k < m; ++k) {
      int32_t v = 0;
      if (k != i) {
        const double dx = s.x[k] - s.x[i], dy = s.y[k] - s.y[i];
        const double e = std::trunc(std::sqrt(dx * dx + dy * dy) + 0.5);
        v = e >= kTripMatrixDistanceCap ? kTripMatrixDistanceCap : static_cast<int32_t>(e);
      }
      w.D[w.Offset(i) + k] = v;
      if (v > w.bestFrom[i]) {
        w.bestFrom[i] = v;
        w.bestFromArg[i] = k;
      }
      if (v > w.bestTo[k]) {
        w.bestTo[k] = v;
        w.bestToArg[k] = i;
      }
    }
  }
  return w;
}

CoarseChoice Distance2(const ReferenceWork& w) {
  CoarseChoice c;
  int64_t best = -1;
  for (int32_t i = 0; i < w.m - 1; ++i) {
    if (w.bestFrom[i] >= best) {
      best = w.bestFrom[i];
      c = {true, best, {i, w.bestFromArg[i], 0, 0, 0}};
    }
  }
  return c;
}

CoarseChoice Distance3(const ReferenceWork& w) {
  CoarseChoice c;
  int64_t best = -1;
  for (int32_t k = 1; k <= w.m - 2; ++k) {
    const int64_t score = int64_t{w.bestTo[k]} + w.bestFrom[k];
    if (score >= best) {
      best = score;
      c = {true, best, {w.bestToArg[k], k, w.bestFromArg[k], 0, 0}};
    }
  }
  return c;
}

CoarseChoice Distance4(const ReferenceWork& w) {
  CoarseChoice c;
  int64_t best = -1;
  for (int32_t k1 = 1; k1 < w.m - 2; ++k1) {
    for (int32_t k2 = k1 + 1; k2 < w.m - 1; ++k2) {
      const int64_t score = int64_t{w.bestTo[k1]} + w.d(k1, k2) + w.bestFrom[k2];
      if (score >= best) {
        best = score;
        c = {true, best, {w.bestToArg[k1], k1, k2, w.bestFromArg[k2], 0}};
      }
    }
  }
  return c;
}

CoarseChoice Distance5(const ReferenceWork& w) {
  CoarseChoice c;
  int64_t best = -1;
  for (int32_t k = 2; k < w.m - 2; ++k) {
    int64_t left = -1, right = -1;
    int32_t b = 0, d = 0;
    for (int32_t x = 1; x < k; ++x) {
      const int64_t v = int64_t{w.bestTo[x]} + w.d(x, k);
      if (v >= left) {
        left = v;
        b = x;
      }
    }
    for (int32_t x = k + 1; x < w.m - 1; ++x) {
      const int64_t v = int64_t{w.d(k, x)} + w.bestFrom[x];
      if (v >= right) {
        right = v;
        d = x;
      }
    }
    if (left + right >= best) {
      best = left + right;
      c = {true, best, {w.bestToArg[b], b, k, d, w.bestFromArg[d]}};
    }
  }
  return c;
}

CoarseChoice OutAndReturn(const ReferenceWork& w, uint32_t gap) {
  if (gap == 0) return {};
  CoarseChoice c;
  int64_t best = -999'999'999;
  for (int32_t i = 0; i < w.m - 2; ++i) {
    for (int32_t k = i + 2; k < w.m; ++k) {
      if (!(w.d(i, k) < int64_t{gap})) continue;
      for (int32_t j = i + 1; j < k; ++j) {
        const int64_t score = 2 * int64_t{w.d(i, j)} - w.d(i, k);
        if (score >= best) {
          best = score;
          c = {true, best, {i, j, k, 0, 0}};
        }
      }
    }
  }
  if (!c.found || best < 0) return {};
  return c;
}

void BuildGap(ReferenceWork& w) {
  const int32_t m = w.m;
  if (m < 2) return;
  w.G.assign(w.D.size(), 0);
  w.Garg.assign(w.D.size(), 0);
  auto at = [&](int32_t i, int32_t k) { return w.Offset(i) + k; };

  int32_t least = 999'999'999, leastArg = 0;
  for (int32_t k = m - 1; k >= 1; --k) {
    if (w.d(0, k) < least) {
      least = w.d(0, k);
      leastArg = 0 * 65536 + k;
    }
    w.G[at(0, k)] = least;
    w.Garg[at(0, k)] = leastArg;
  }
  for (int32_t i = 1; i < m - 1; ++i) {
    for (int32_t k = m - 1; k >= i + 1; --k) {
      int32_t v = 999'999'999, arg = 0;
      if (w.d(i, k) < v) {
        v = w.d(i, k);
        arg = i * 65536 + k;
      }
      if (k + 1 <= m - 1 && w.G[at(i, k + 1)] < v) {
        v = w.G[at(i, k + 1)];
        arg = w.Garg[at(i, k + 1)];
      }
      if (w.G[at(i - 1, k)] < v) {
        v = w.G[at(i - 1, k)];
        arg = w.Garg[at(i - 1, k)];
      }
      w.G[at(i, k)] = v;
      w.Garg[at(i, k)] = arg;
    }
  }
}

CoarseTriangles Triangles(ReferenceWork& w, uint32_t gap) {
  CoarseTriangles out;
  const int32_t m = w.m;
  if (gap == 0 || m < 3) return out;
  BuildGap(w);
  auto at = [&](int32_t i, int32_t k) { return w.Offset(i) + k; };
  int64_t flatBest = -1, faiBest = -1;
  for (int32_t i = 0; i < m - 2; ++i) {
    for (int32_t k = i + 2; k < m; ++k) {
      const int64_t g = w.G[at(i, k)];
      if (!(g < int64_t{gap})) continue;
      for (int32_t j = i + 1; j < k; ++j) {
        const int64_t a = w.d(i, j), b = w.d(j, k), c = w.d(i, k);
        const int64_t p = a + b + c;
        const int64_t score = p - g;
        const int32_t packed = w.Garg[at(i, k)];
        const std::array<int32_t, 5> pos{packed / 65536, i, j, k, packed % 65536};
        if (score >= flatBest) {
          flatBest = score;
          out.flat = {true, score, pos};
        }
        const int64_t least = 7 * p / 25;
        if (score >= faiBest && a >= least && b >= least && c >= least) {
          faiBest = score;
          out.fai = {true, score, pos};
        }
      }
    }
  }
  return out;
}

}  // namespace skylode::reference
