// KML output: the track folder with trip statistics, the seven distance
// placemarks and the FsInfo block whose SHA-1 hash lets the flight-log
// service trust the track; the files around it; the waypoint document.
#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "analysis/contest_score.h"
#include "analysis/flight_statistics.h"
#include "formats/text_output_buffer.h"
#include "records/error.h"
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
  const ContestScores* contest = nullptr;  // a line per rule set under the statistics when given
};

// Appends one <Folder> for the record's track. The record's points are not
// changed: a track without real times is written with times 0, 5, 10, ...
// Fails with kNothingToWrite without points, or kNoMemory; on failure `out`
// is as it was.
Status BuildKmlTrackFolder(TextOutputBuffer& out, const FlightStatistics& stats, std::string_view description,
                           const KmlFolderOptions& options = {});

// "%d-%02d-%02d_%02d-%02d" of the first position, the name the save dialog
// proposes.
std::string AerodiaryFileName(const FlightStatistics& stats);

// How a track folder goes into an Aerodiary file.
enum class AerodiaryWrite {
  kCreateNew,  // a new file; kExists when one is there, which is left alone
  kOverwrite,  // replaces whatever is there
  kAppend,     // after the folders of the file there, under one head
};

// Writes `folder` (one or more <Folder> elements) to the file at `path`.
// Every write goes through a temporary file, so a failed append or
// overwrite leaves the old file as it was. Appending reads the old file
// (its file errors keep their kind) and fails with kBadContent when its
// folders cannot be found.
Status WriteAerodiaryFile(const std::string& path, std::string_view folder, AerodiaryWrite how);

// Head, folders, tail: the file every track writer produces.
std::string WrapKmlDocument(std::string_view folders);

// The waypoint document. Names and descriptions are escaped and written as
// UTF-8, so that any list the program holds gives a well-formed file.
std::string BuildKmlWaypointDocument(const WaypointList& list);
// Replaces any file at `path`; kNoMemory or the file's error.
Status WriteGoogleEarthWaypoints(const std::string& path, const WaypointList& list);

}  // namespace skylode
