// KML output: the track folder with trip statistics, the seven distance
// placemarks and the FsInfo block whose SHA-1 hash lets the flight-log
// service trust the track; the files around it; the waypoint document.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "analysis/flight_statistics.h"
#include "formats/text_output_buffer.h"
#include "records/track_log.h"
#include "records/waypoint.h"

namespace skylode {

inline constexpr int kKmlProgramVersion = 449;  // written as v="4.49"

inline constexpr std::string_view kKmlDocumentHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Document>\r\n<open>1</open>\r\n";
inline constexpr std::string_view kKmlDocumentTail = "</Document>\r\n";

// The 17 bytes that start every FsInfo hash. Readers of our files recompute
// the hash with the same key.
std::string FsInfoKey();

// The SHA-1 of an FsInfo block, started with the key. Writer and reader
// feed the same item texts.
class FsInfoHash {
 public:
  FsInfoHash();
  ~FsInfoHash();
  FsInfoHash(const FsInfoHash&) = delete;
  FsInfoHash& operator=(const FsInfoHash&) = delete;
  void Feed(std::string_view text);
  // Forty upper-case hexadecimal digits.
  std::string Finish();

 private:
  void* ctx_;
};

struct KmlFolderOptions {
  std::string_view instrumentText;  // the track log's; written when not blank
  uint32_t loopFlightGap = 800;     // metres, printed in the loop headings
};

inline constexpr int kKmlFolderOk = 0;
inline constexpr int kKmlFolderNoMemory = -1;
inline constexpr int kKmlFolderNoPoints = -3;   // nothing to write

// Appends one <Folder> for the record's track. The record's points are not
// changed: a track without real times is written with times 0, 5, 10, ...
// Returns 0 or one of the negative codes above; on failure `out` is as it was.
int BuildKmlTrackFolder(TextOutputBuffer& out, const FlightStatistics& stats, std::string_view description,
                        const KmlFolderOptions& options = {});

// "Memory allocation error" and the like for the codes of BuildKmlTrackFolder.
const char* KmlFolderErrorText(int code);

// A message for the person: caption and text.
struct KmlMessage {
  std::string caption;
  std::string text;
};

// What happens to an existing Aerodiary file.
enum class ExistingFileChoice { kAppend, kOverwrite, kCancel };

struct KmlSaveResult {
  enum Status { kSaved, kCancelled, kFailed } status = kFailed;
  KmlMessage message;  // the success text or the failure
  bool ok() const { return status == kSaved; }
};

// "%d-%02d-%02d_%02d-%02d" of the first position, the name the save dialog
// proposes.
std::string AerodiaryFileName(const FlightStatistics& stats);

// Saves the record's track to `path` (chosen by the shell). An existing file
// is offered to `askExisting`; an unset callback cancels. Every write goes
// through a temporary file, so a failed append or overwrite leaves the old
// file as it was.
KmlSaveResult SaveAerodiaryTrack(const std::string& path, const FlightStatistics& stats,
                                 std::string_view description, const KmlFolderOptions& options,
                                 const std::function<ExistingFileChoice()>& askExisting);

struct GoogleEarthTrackRequest {
  bool hashWanted = false;
  bool utcFlag = false;
  bool pressureFlag = false;
  bool overwrite = false;  // command-line OVERWRITE: replace an existing file
  uint32_t loopFlightGap = 800;
  std::string_view instrumentText;
};

// Analyses the points (statistics and trip search) and writes a one-folder
// track file. Fails with "Too few track positions" below 5 points.
KmlSaveResult WriteGoogleEarthTrack(const std::string& path, std::span<const TrackPoint> points,
                                    const GoogleEarthTrackRequest& request);

// Head, folders, tail: the file every track writer produces.
std::string WrapKmlDocument(std::string_view folders);

// The waypoint document. Names and descriptions are escaped and written as
// UTF-8, so that any list the program holds gives a well-formed file.
std::string BuildKmlWaypointDocument(const WaypointList& list);
std::optional<KmlMessage> WriteGoogleEarthWaypoints(const std::string& path, const WaypointList& list);

}  // namespace skylode
