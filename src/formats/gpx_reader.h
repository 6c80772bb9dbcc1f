// Reading GPX: the track points of one segment, and the waypoints.
#pragma once
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/waypoint_files.h"
#include "records/error.h"
#include "records/track_log.h"
#include "records/waypoint.h"

namespace skylode {

inline constexpr size_t kGpxSegmentLimit = 100;

struct GpxTrackHooks {
  // Offered the first-point times of the segments
  // ("%d-%02d-%02d   %02d:%02d:%02d") when there are several; gives the
  // chosen index, or nothing to cancel. Unset: the first segment.
  std::function<std::optional<size_t>(const std::vector<std::string>& labels)> chooseTrack;
};

// The points of the chosen segment (the first carries the segment flag),
// a kBadContent error that says what is wrong, or Cancelled when no segment
// was chosen. Times with an offset are taken to UTC.
Result<std::vector<TrackPoint>> ReadGpxTrack(std::string_view text, const GpxTrackHooks& hooks = {});

// Every <wpt>: its <name> through the ID check, <cmt> (else <desc>) as the
// name, <ele>, <time> (the time of reading when it has none).
Result<WaypointList> ReadGpxWaypoints(std::string_view text, const WaypointReadOptions& options);

}  // namespace skylode
