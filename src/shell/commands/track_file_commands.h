// The rows of Open log and Save log As for the track files of other programs
// (OziExplorer, the old .dat file, MapSource, Magellan logs, CSV, Top
// Navigator logs), and their
// reading and writing for the command line. Every message of these files is
// chosen here.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "formats/track_files.h"
#include "records/error.h"
#include "records/track_log.h"
#include "shell/commands/file_messages.h"

namespace skylode {

class AppState;

enum class OtherTrackFormat { kOzi, kDat, kMapSource, kMagellan, kCsv, kTnc };

// By the file's extension (".plt", ".dat", ".mps", ".log", ".csv", ".tnc", any case),
// or by the extension alone as a dialog row gives it.
std::optional<OtherTrackFormat> OtherTrackFormatOf(std::string_view path);

// The caption of a reader's messages: "Read CSV track log file",
// "Decoding MapSource file", else "Decoding track log file".
std::string_view OtherTrackReadCaption(OtherTrackFormat format);

// The points a file gave, or the message to show (the file could not be
// read, or its reader refused it).
struct OtherTrackRead {
  std::vector<TrackPoint> points;
  bool hasBaroHeight = false;
};
struct OtherTrackReadOutcome {
  std::optional<OtherTrackRead> read;
  FileMessage failure;
};
OtherTrackReadOutcome ReadOtherTrackFile(const std::string& path, OtherTrackFormat format);

// Open log: reads the file, asks before an unsaved log is replaced, installs
// the points and shows the track view. 0, or -1 after a message with the
// loaded log kept as it was.
int OpenOtherTrackLog(AppState& app, const std::string& path, OtherTrackFormat format);

// The bytes of the formats Save log As and the command line write (Ozi,
// MapSource, CSV); nothing for the others.
std::optional<std::string> BuildOtherTrackFile(OtherTrackFormat format, std::span<const TrackPoint> points,
                                               bool hasBaroHeight);

}  // namespace skylode
