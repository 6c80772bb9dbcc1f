// Any bytes given to the XML tokenizer and the KML readers end in a result
// or a message: never a crash, a hang, a read outside the text or an empty
// error.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "formats/kml_reader.h"
#include "formats/xml_tokenizer.h"

using namespace skylode;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // The bare tokenizer must always come to an end inside the text.
  std::string copy(text);
  char* cursor = copy.data();
  char* const end = copy.data() + copy.size();
  for (size_t tags = 0;; ++tags) {
    XmlTag tag;
    const XmlNext r = NextXmlTag(cursor, tag);
    if (cursor < copy.data() || cursor > end || tags > size) abort();
    if (r == XmlNext::kEnd || r == XmlNext::kBroken) break;
  }

  KmlTrackHooks hooks;
  hooks.chooseTrack = [](const std::vector<std::string>& labels) -> std::optional<size_t> {
    if (labels.empty() || labels.size() > static_cast<size_t>(kKmlTrackLimit)) abort();
    return labels.size() - 1;
  };
  const Result<KmlTrack> track = ReadKmlTrack(text, hooks);
  if (track.ok() && track->points.empty()) abort();
  if (!track.ok() && !track.cancelled() && track.error().text.empty()) abort();

  const Result<WaypointList> waypoints = ReadKmlWaypoints(text, 0);
  if (!waypoints.ok() && waypoints.error().text.empty()) abort();

  const KmlFolderSpan span = FindKmlFolders(text);
  if (span.ok() && (span.end > size || text.substr(span.start, 7) != "<Folder")) abort();
  return 0;
}
