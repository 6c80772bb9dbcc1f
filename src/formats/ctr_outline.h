// An airspace's segments as a closed line of points, for the GPX output and
// "Show CTR as waypoints": arcs and circles walked in steps of at most ten
// degrees, points closer than 100 m to the last one left out.
//
// Arcs are drawn on the ellipsoid, not in a map plane: every point of a
// circle or an arc by radius lies on its radius (a plane's scale error would
// put the point of a 90 NM circle tens of metres off), and an arc by end
// points starts and ends exactly on its end points.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "records/ctr_list.h"
#include "records/error.h"
#include "records/waypoint.h"

namespace skylode {

// kBadContent "Program error" when the area has no segments or a segment
// cannot be drawn (a centre at a pole, a position off the globe).
Result<std::vector<LatLonDegrees>> ExpandCtrOutline(const CtrArea& area);

// The outline as waypoints: ID "C", the area's number in two characters and
// the point's number in three ("CAAAAA", "CAAAAB", ...), the area's name,
// symbol 18, height 0, `now` as time.
Result<std::vector<Waypoint>> ExpandCtrToWaypoints(const CtrArea& area, int areaNumber, uint32_t now);

// The identifier of point `point` of area `area`. Letters only while the
// area is below 676 and the point below 17,576; beyond, the field starts
// with a digit (1,036 areas, 30,536 points), so no identifier is repeated
// or leaves the characters a waypoint ID may hold. Areas past 1,035 start
// over at 0. Nothing for a point past 30,535.
std::optional<std::string> CtrWaypointId(int area, int point);

}  // namespace skylode
