// Bytes from a Magellan unit: sentences read by its byte-driven reader and
// taken apart by the track and waypoint parsers. Nothing may crash, and a
// point or waypoint they give keeps to the globe; a waypoint sent back
// reads the same.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_input.h"
#include "protocols/magellan/sentences.h"

using namespace skylode;
using namespace skylode::magellan;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes = fuzz::InstrumentBytes(data, size);
  MagellanSentenceReader reader;
  for (char c : bytes) {
    const int r = reader.Feed(static_cast<uint8_t>(c));
    if (r < 0 || r > 5) abort();
    if (r != 0) continue;
    const auto& fields = reader.fields();
    if (fields.empty() || fields[0].empty() || fields[0][0] != '$') abort();

    TrackPoint point;
    bool hasPoint = false;
    const int t = ParseMagellanTrackSentence(fields, point, hasPoint);
    if (t < 0) abort();
    if (hasPoint) fuzz::CheckPoint(point);

    Waypoint waypoint;
    bool hasWaypoint = false;
    const int w = ParseMagellanWaypointSentence(fields, waypoint, hasWaypoint);
    if (w < 0) abort();
    if (!hasWaypoint) continue;
    fuzz::CheckWaypoint(waypoint);
    MagellanSentenceReader again;
    int last = 1;
    for (char s : MagellanWaypointSentence(waypoint)) last = again.Feed(static_cast<uint8_t>(s));
    if (last != 0) abort();
    Waypoint back;
    bool hasBack = false;
    if (ParseMagellanWaypointSentence(again.fields(), back, hasBack) != kSentenceTaken || !hasBack ||
        back.id != waypoint.id)
      abort();
  }
  return 0;
}
