// Any bytes given to the waypoint file readers (recognised by their first
// bytes, or forced through each reader) end in a list or a message: never a
// crash, a hang, a read outside the text, an empty error, or a waypoint that
// breaks the list's own rules.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "formats/waypoint_files.h"

using namespace skylode;

namespace {

void Check(const Result<WaypointList>& r) {
  if (!r.ok()) {
    if (r.error().text.empty()) abort();
    return;
  }
  for (const Waypoint& w : r->items) {
    if (w.id.empty() || w.id.size() > kWaypointIdMax) abort();
    if (w.name.size() > 4 * kWaypointNameMax) abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  WaypointReadOptions options;
  int asked = 0;
  options.askModifyId = [&asked](std::string_view) {
    // Every answer in turn, so that each path is taken.
    return static_cast<ModifyIdAnswer>(asked++ % 4);
  };
  Check(ReadWaypointText(text, options));
  Check(ReadOziWaypoints(text, options));
  Check(ReadGeographicalWaypoints(text, options));
  Check(ReadUtmWaypoints(text, options));
  Check(ReadSeeYouWaypoints(text, options));
  Check(ReadWinPilotWaypoints(text, options));
  return 0;
}
