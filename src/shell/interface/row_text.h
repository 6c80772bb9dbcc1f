// The cell texts of the four list views. The list view holds no text: it
// asks for each visible cell, so these must cope with any row and column.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "records/ctr_list.h"
#include "records/pilot_list.h"
#include "records/track_log.h"
#include "records/waypoint.h"
#include "shell/interface/view_mode.h"

namespace skylode {

struct ListColumn {
  std::string_view title;
  int width;  // in average character widths of the dialog font
};

// The columns of a view; waypoints and track log have a geographic and a UTM set.
std::span<const ListColumn> ColumnsOf(ViewMode view, bool utm);

inline constexpr size_t kCellTextMax = 79;

// Each gives "" for a row or column outside the list, so that a view asking
// for a row of a list that was just replaced reads nothing stale.
std::string TrackRowText(const TrackLog& log, int32_t row, int32_t column, bool utm);
std::string WaypointRowText(const WaypointList& list, int32_t row, int32_t column, bool utm);
std::string CtrRowText(const CtrList& list, int32_t row, int32_t column);
std::string PilotRowText(const PilotList& list, int32_t row, int32_t column);

// Speed from the previous point in km/h (0 for the first point and for a
// point that does not advance in time).
double SpeedFromPrevious(const TrackLog& log, int32_t row);

}  // namespace skylode
