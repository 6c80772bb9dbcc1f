// The waypoint operations of a command-line run: RD_WPT and RD_GEO_WPT save
// the downloaded list, WR_WPT and WR_WPT2 read a file for the upload.
#pragma once

#include <string>

#include "shell/command_line/command_line.h"
#include "shell/commands/file_messages.h"

namespace skylode {

class AppState;

// Reads the run's file into the waypoint list, shaped for the instrument the
// run names. Nothing, or the message that stopped it.
std::optional<FileMessage> PrepareWaypointUpload(AppState& app, const CmdRun& run);

// WR_WPT2 and WR_WPT for an instrument that shows names only.
void ApplyUploadNameRule(WaypointList& list, bool idBeforeName);

// Saves the downloaded list to the run's file (OVERWRITE replaces an
// existing one). The status line text on success, else the message.
struct WaypointSaveOutcome {
  std::optional<FileMessage> failure;
  std::string written;  // "%d waypoints written"
};
WaypointSaveOutcome SaveDownloadedWaypoints(AppState& app, const CmdRun& run);

}  // namespace skylode
