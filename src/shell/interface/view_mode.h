// Which list the main window's list view shows.
#pragma once

#include <cstdint>

namespace skylode {

enum class ViewMode : int32_t {
  kWaypoints = 0,
  kTrackLog = 1,
  kCtr = 2,
  kPilots = 3,
};
inline constexpr int kViewModeCount = 4;

// Height of the main window's list: 200 and 310 dialog units, or the screen.
enum class ListSize { kSmall, kDefault, kLarge };

}  // namespace skylode
