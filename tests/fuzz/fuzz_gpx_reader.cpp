// Any bytes given to the GPX readers end in a result or a message: never a
// crash, a hang, a read outside the text or an empty error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "formats/gpx_reader.h"

using namespace skylode;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  GpxTrackHooks hooks;
  hooks.chooseTrack = [](const std::vector<std::string>& labels) -> std::optional<size_t> {
    if (labels.size() < 2 || labels.size() > kGpxSegmentLimit) abort();
    return labels.size() - 1;
  };
  const Result<std::vector<TrackPoint>> track = ReadGpxTrack(text, hooks);
  if (track.ok() && track->empty()) abort();
  if (!track.ok() && !track.cancelled() && track.error().text.empty()) abort();

  WaypointReadOptions options;
  const Result<WaypointList> waypoints = ReadGpxWaypoints(text, options);
  if (!waypoints.ok() && waypoints.error().text.empty()) abort();
  return 0;
}
