// An airspace's segments as a closed line of points, for the GPX output:
// arcs and circles walked in steps of at most ten degrees in the UTM plane
// of their centre, points closer than 100 m to the last one left out.
#pragma once
#include <vector>

#include "records/ctr_list.h"
#include "records/error.h"

namespace skylode {

// kBadContent when a segment cannot be projected (a centre off the globe).
Result<std::vector<LatLonDegrees>> ExpandCtrOutline(const CtrArea& area);

}  // namespace skylode
