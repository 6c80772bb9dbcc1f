// Waypoint files of other navigation programs: OziExplorer, the two column
// formats headed "$FormatGEO" and "$FormatUTM", SeeYou (.cup) and WinPilot
// (.dat). The reader trusts the file's first bytes, not its name: the same
// entry point also hands GPX and KML texts to their readers.
#pragma once
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "records/error.h"
#include "records/waypoint.h"

namespace skylode {

// The formats of the save dialog, in its order.
enum class WaypointFileFormat { kOzi, kUtm, kGeographical, kMapSource, kSeeYou, kGpx, kGoogleEarth, kWinPilot };

// What the first bytes say a waypoint file is.
enum class WaypointFileKind {
  kOzi,
  kGeographical,
  kUtm,
  kSeeYou,
  kMapSource,
  kWinPilot,  // no XML tag at all
  kGpx,
  kKml,
  kUnknown,  // XML that is neither, or a byte-order mark other than UTF-8's
};

// A UTF-8 byte-order mark is passed over.
WaypointFileKind RecogniseWaypointFile(std::string_view text);

// The answer to "Modify (-> uppercase or truncate) this ID ?".
enum class ModifyIdAnswer { kYes, kYesToAll, kSkip, kCancel };

struct WaypointReadOptions {
  uint32_t now = 0;  // the time of reading, for waypoints the file gives none
  // Asked for an ID the strict check refuses; unset answers Yes (the
  // dialog's default button).
  std::function<ModifyIdAnswer(std::string_view idText)> askModifyId;
};

// The strict check, then the question: the ID to use, an empty string to
// skip the waypoint, or nothing when the line is bad (a cancel counts so).
class WaypointIdCheck {
 public:
  explicit WaypointIdCheck(const WaypointReadOptions& options) : options_(options) {}
  enum class Outcome { kOk, kSkip, kBad };
  Outcome Check(std::string_view text, std::string& id);

 private:
  const WaypointReadOptions& options_;
  bool all_ = false;
};

// A name from a file as the list keeps it: stray 8-bit bytes taken as
// Windows-1252, control characters as blanks, leading and trailing blanks
// dropped, at most kWaypointNameMax characters.
std::string BoundedWaypointName(std::string_view text);

// Reads any waypoint file the program knows. A bad line is a kBadContent
// error "Bad line %d" with `line` set; a file with no waypoints is
// "No waypoints found".
Result<WaypointList> ReadWaypointText(std::string_view text, const WaypointReadOptions& options);

// The single readers, on the text after any byte-order mark.
Result<WaypointList> ReadOziWaypoints(std::string_view text, const WaypointReadOptions& options);
Result<WaypointList> ReadGeographicalWaypoints(std::string_view text, const WaypointReadOptions& options);
Result<WaypointList> ReadUtmWaypoints(std::string_view text, const WaypointReadOptions& options);
Result<WaypointList> ReadSeeYouWaypoints(std::string_view text, const WaypointReadOptions& options);
Result<WaypointList> ReadWinPilotWaypoints(std::string_view text, const WaypointReadOptions& options);

// MapSource (.mps): one 'W' record per waypoint with its ID, position,
// height, symbol and the name as comment. A record or field running past the
// end gives "File format error at %08xh".
std::vector<uint8_t> BuildMapSourceWaypoints(const WaypointList& list);
Result<WaypointList> ReadMapSourceWaypoints(std::span<const uint8_t> bytes, const WaypointReadOptions& options);

// The whole file of each column format.
std::string BuildOziWaypointFile(const WaypointList& list);
std::string BuildGeographicalWaypointFile(const WaypointList& list);
std::string BuildUtmWaypointFile(const WaypointList& list);
std::string BuildSeeYouWaypointFile(const WaypointList& list);
std::string BuildWinPilotWaypointFile(const WaypointList& list);

}  // namespace skylode
