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
#include "records/track_log.h"
#include "records/waypoint.h"

namespace skylode {

inline constexpr int kKmlTrackLimit = 50;
// Attribute values the track reader takes whole; longer ones are cut. The
// instrument text alone may be 80 characters, so the limit leaves room.
inline constexpr size_t kKmlAttributeLimit = 255;

struct KmlTrackHooks {
  // "Number of tracks limited to 50".
  std::function<void(std::string_view notice)> notice;
  // Offered the tracks' first-point times ("%d-%02d-%02d   %02d:%02d:%02d")
  // when there are several; gives the chosen index, or nothing to cancel.
  // Unset: the first track.
  std::function<std::optional<size_t>(const std::vector<std::string>& labels)> chooseTrack;
};

struct KmlTrackResult {
  enum Status { kRead, kCancelled, kFailed } status = kFailed;
  std::string error;  // the message for kFailed, captioned kKmlTrackCaption
  std::vector<TrackPoint> points;
  bool signatureValid = false;
  bool timesUtc = false;
  bool hasPressure = false;
  bool ok() const { return status == kRead; }
};

inline constexpr std::string_view kKmlTrackCaption = "Parsing track log file";
inline constexpr std::string_view kKmlWaypointCaption = "Parsing waypoint file";

KmlTrackResult ReadKmlTrack(std::string_view text, const KmlTrackHooks& hooks = {});

// "%d positions read (Signature ok)" or "... (Signature not ok or ignored)".
std::string KmlTrackStatusText(const KmlTrackResult& result);

struct KmlWaypointResult {
  std::optional<std::string> error;
  WaypointList list;
  bool ok() const { return !error.has_value(); }
};

// Placemarks with a Point. `now` stamps each waypoint. A waypoint whose ID is
// already in the list goes through the insert rule (`askOverwrite`).
KmlWaypointResult ReadKmlWaypoints(std::string_view text, uint32_t now,
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
