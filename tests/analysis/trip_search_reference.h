// A plain reference for the coarse trip searches: the loops exactly as the
// algorithm reads, on a packed triangular matrix, with nothing skipped. Only
// the tests use it, to hold the fast search to the same choices.
#pragma once

#include <cstdint>
#include <vector>

#include "analysis/trip_search.h"

namespace skylode::reference {

struct ReferenceWork {
  int32_t m = 0;
  std::vector<int32_t> D, G, Garg;  // packed rows, entry (i, k) at offset(i) + k
  std::vector<int32_t> bestFrom, bestFromArg, bestTo, bestToArg;

  int64_t Offset(int64_t i) const { return i * m - i * (i + 1) / 2; }
  int32_t d(int32_t i, int32_t k) const { return D[Offset(i) + k]; }
};

// From the sampled, projected positions of a production work record.
ReferenceWork BuildReference(const TripSearchWork& sampled);

CoarseChoice Distance2(const ReferenceWork& w);
CoarseChoice Distance3(const ReferenceWork& w);
CoarseChoice Distance4(const ReferenceWork& w);
CoarseChoice Distance5(const ReferenceWork& w);
CoarseChoice OutAndReturn(const ReferenceWork& w, uint32_t gap);
void BuildGap(ReferenceWork& w);  // fills G and Garg
CoarseTriangles Triangles(ReferenceWork& w, uint32_t gap);  // fills G and Garg

}  // namespace skylode::reference
