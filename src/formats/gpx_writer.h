// GPX 1.1 output: a track, the waypoint list, and airspace outlines as
// tracks with their floor and ceiling in Garmin's track point extension.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "records/ctr_list.h"
#include "records/track_log.h"
#include "records/waypoint.h"

namespace skylode {

inline constexpr int kGpxProgramVersion = 449;  // creator="Skylode 4.49"

// All points in one segment; `now` is the time of writing for the metadata.
std::string BuildGpxTrack(std::span<const TrackPoint> points, uint32_t now);

std::string BuildGpxWaypoints(const WaypointList& list, uint32_t now);

// An airspace as the GPX writer takes it: its texts and its outline in
// degrees, already expanded from its segments.
struct CtrOutline {
  std::string name;
  std::string ceiling;  // OpenAir AH text
  std::string floor;    // OpenAir AL text
  std::vector<LatLonDegrees> points;
};
std::string BuildGpxCtrs(std::span<const CtrOutline> areas, uint32_t now);

// An OpenAir height text in metres: leading blanks, a number ('.' or ','
// as separator), optional blanks, then the unit: M for metres, F or FT for
// feet; a bare number is feet, as in OpenAir files. Text after the unit
// (MSL, AGL) is allowed. "FL 95" is flight level 95 (9500 ft). Any other
// text (GND, SFC, UNL) gives 0.
double ParseHeightText(std::string_view text);

}  // namespace skylode
