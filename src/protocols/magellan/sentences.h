// The Magellan unit's "$PMGN" sentences: what its track and waypoint
// sentences carry, and the waypoint sentence sent to it.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "records/track_log.h"
#include "records/waypoint.h"

namespace skylode::magellan {

// What one received sentence gave.
inline constexpr int kSentenceTaken = 1;  // used or passed over
inline constexpr int kDownloadEnd = 0;    // "$PMGNCMD,END"

// `fields` as CheckAndSplitSentence gives them (field 0 is the name with
// its '$'). kSentenceTaken, kDownloadEnd or the positive number of the
// broken rule, shown as "Format error %". A sentence with a point sets
// `point` and `hasPoint`.
int ParseMagellanTrackSentence(std::span<const std::string_view> fields, TrackPoint& point, bool& hasPoint);
int ParseMagellanWaypointSentence(std::span<const std::string_view> fields, Waypoint& waypoint, bool& hasWaypoint);

// "$PMGNWPL,DDMM.mmm,N,DDDMM.mmm,E,hhhh,M,ID,NAME*HH\r\n".
std::string MagellanWaypointSentence(const Waypoint& waypoint);

}  // namespace skylode::magellan
