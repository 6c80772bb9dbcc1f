// The contest's coarse searches as plain loops over every triple, nothing
// skipped: what the fast searches are held to.
#pragma once

#include "analysis/trip_search.h"
#include "trip_search_reference.h"

namespace skylode::reference {

CoarseChoice OlcOutAndReturn(const ReferenceWork& w);
CoarseTriangles OlcTriangles(ReferenceWork& w);  // fills G and Garg

}  // namespace skylode::reference
