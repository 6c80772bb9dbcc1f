// Lines from an IQ Basic instrument: the hexadecimal replies, the track list
// and the waypoint list. No line may crash a parser; an entry it takes is a
// flight that can be asked for, a waypoint keeps to the globe.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "fuzz_input.h"
#include "protocols/iqbasic/link.h"
#include "protocols/iqbasic/track_list.h"
#include "protocols/iqbasic/waypoints.h"

using namespace skylode;
using namespace skylode::iqbasic;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  LineReader reader;
  for (char c : bytes) {
    if (!reader.Feed(static_cast<uint8_t>(c))) continue;
    const std::string_view line = reader.line();
    if (line.size() > LineReader::kLineMax) abort();

    uint32_t value = 0;
    (void)ParseHexReply(line, "RPA_00_", value);

    if (const std::optional<iqbasic::TrackListEntry> e = ParseTrackListLine(line)) {
      if (e->number < 0 || e->number > kFlightNumberMax) abort();
      if (FlightCommand(e->number).size() != 11) abort();
      (void)DialogLine(*e);
    }

    const WaypointLine w = ParseWaypointLine(line, 0);
    if (w.waypoint.has_value() == (w.error != 0) || w.error < 0 || w.error > 5) abort();
    if (w.waypoint) {
      fuzz::CheckWaypoint(*w.waypoint);
      for (int mode : {1, 2, 3}) {
        const WaypointLine back = ParseWaypointLine(UploadLine(*w.waypoint, mode), 0);
        if (!back.waypoint) abort();
      }
    }
  }
  return 0;
}
