// Any bytes given to the MapSource track and waypoint readers end in points,
// waypoints or a message: never a crash, a read outside the bytes or a huge
// allocation.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>

#include "formats/waypoint_files.h"
#include "track_result_check.h"

using namespace skylode;
using fuzz::CheckTrackResult;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Result<std::vector<TrackPoint>> mps = ReadMapSourceTrack(std::span<const uint8_t>(data, size));
  CheckTrackResult(mps, mps.ok() ? mps->size() : 0);

  WaypointReadOptions options;
  options.askModifyId = [](std::string_view) { return ModifyIdAnswer::kYes; };
  const Result<WaypointList> wpts = ReadMapSourceWaypoints(std::span<const uint8_t>(data, size), options);
  if (wpts.ok()) {
    if (wpts->items.empty()) abort();
    for (const Waypoint& w : wpts->items)
      if (w.id.empty() || w.id.size() > 6) abort();
  } else if (wpts.error().text.empty()) {
    abort();
  }
  return 0;
}
