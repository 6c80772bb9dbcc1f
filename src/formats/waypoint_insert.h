// The one rule by which a waypoint joins the list, whether typed in or read
// from a file: a waypoint with the same ID may replace one already there,
// otherwise it is appended.
#pragma once
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "records/waypoint.h"

namespace skylode {

// Asked once per existing waypoint with the same ID; true replaces it.
// Unset: never replace.
using WaypointOverwriteQuestion = std::function<bool(const Waypoint& existing)>;

enum class InsertOutcome { kReplaced, kAppended };

// Offers every waypoint with the same `id` (exact comparison) in turn; the
// first yes replaces it and ends the insert. With no yes it is appended.
InsertOutcome InsertWaypoint(WaypointList& list, const Waypoint& waypoint, const WaypointOverwriteQuestion& ask);

}  // namespace skylode
