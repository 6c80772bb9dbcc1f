// Reading KML: the track of a file we wrote (with its FsInfo hash checked),
// waypoint placemarks, and where the folders of an existing file lie.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "formats/waypoint_insert.h"
#include "records/error.h"
#include "records/track_log.h"
#include "records/waypoint.h"

namespace skylode {

inline constexpr int kKmlTrackLimit = 50;
// Attribute values the track reader takes whole; longer ones are cut. The
// instrument text alone may be 80 characters, so the limit leaves room.
inline constexpr size_t kKmlAttributeLimit = 255;

struct KmlTrackHooks {
  // Called once when the file holds more than kKmlTrackLimit tracks; the
  // first ones are offered.
  std::function<void()> tracksLimited;
  // Offered the tracks' first-point times ("%d-%02d-%02d   %02d:%02d:%02d")
  // when there are several; gives the chosen index, or nothing to cancel.
  // Unset: the first track.
  std::function<std::optional<size_t>(const std::vector<std::string>& labels)> chooseTrack;
};

struct KmlTrack {
  std::vector<TrackPoint> points;
  bool signatureValid = false;
  bool timesUtc = false;
  bool hasPressure = false;
};

// The chosen track, a kBadContent error that says what is wrong with the
// file, or Cancelled when the person chose no track.
Result<KmlTrack> ReadKmlTrack(std::string_view text, const KmlTrackHooks& hooks = {});

// Placemarks with a Point. `now` stamps each waypoint. A waypoint whose ID is
// already in the list goes through the insert rule (`askOverwrite`).
Result<WaypointList> ReadKmlWaypoints(std::string_view text, uint32_t now,
                                      const WaypointOverwriteQuestion& askOverwrite = {});

// The offset of the first <Folder and the offset just after the last
// </Folder> at the outermost folder level.
struct KmlFolderSpan {
  size_t start = 0;
  size_t end = 0;
  bool found = false;
  bool ok() const { return found && start < end; }
};
KmlFolderSpan FindKmlFolders(std::string_view text);

}  // namespace skylode
