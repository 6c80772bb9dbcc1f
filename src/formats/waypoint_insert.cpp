#include "formats/waypoint_insert.h"

namespace skylode {

InsertOutcome InsertWaypoint(WaypointList& list, const Waypoint& waypoint, const WaypointOverwriteQuestion& ask) {
  if (ask) {
    // By index: the question may run arbitrary code, but it gets a copy.
    for (size_t i = 0; i < list.items.size(); ++i) {
      if (list.items[i].id != waypoint.id) continue;
      const Waypoint existing = list.items[i];
      if (ask(existing)) {
        list.items[i] = waypoint;
        return InsertOutcome::kReplaced;
      }
    }
  }
  list.items.push_back(waypoint);
  return InsertOutcome::kAppended;
}

}  // namespace skylode
