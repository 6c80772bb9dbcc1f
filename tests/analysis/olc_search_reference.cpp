#include "olc_search_reference.h"

namespace skylode::reference {

CoarseChoice OlcOutAndReturn(const ReferenceWork& w) {
  CoarseChoice c;
  int64_t best = 0;
  for (int32_t i = 0; i < w.m - 2; ++i) {
    for (int32_t k = i + 2; k < w.m; ++k) {
      if (!(w.d(i, k) < 400)) continue;
      for (int32_t j = i + 1; j < k; ++j) {
        const int64_t score = int64_t{w.d(i, j)} + w.d(j, k);
        if (score >= best) {
          best = score;
          c = {true, score, {i, j, k, 0, 0}};
        }
      }
    }
  }
  if (best <= 0) return {};
  return c;
}

CoarseTriangles OlcTriangles(ReferenceWork& w) {
  CoarseTriangles out;
  const int32_t m = w.m;
  if (m < 3) return out;
  BuildGap(w);
  int64_t flatBest = 0, faiBest = 0;
  for (int32_t i = 0; i < m - 2; ++i) {
    for (int32_t k = i + 2; k < m; ++k) {
      const int64_t g = w.G[w.Offset(i) + k];
      const int32_t packed = w.Garg[w.Offset(i) + k];
      for (int32_t j = i + 1; j < k; ++j) {
        const int64_t a = w.d(i, j), b = w.d(j, k), c = w.d(i, k);
        const int64_t p = a + b + c;
        if (!(p > 5 * g)) continue;
        const int64_t score = p - g;
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
  if (flatBest <= 0) out.flat = {};
  if (faiBest <= 0) out.fai = {};
  return out;
}

}  // namespace skylode::reference
