// The waypoint file commands (Save wpts. As, Open wpts.), the GPX rows of the
// track file commands (Open log, Save log As) and "Write CTR(s) to .gpx
// file". Every check and message lives here, so that the window, a hidden
// run and the tests follow the same rules.
#pragma once
#include <string>

#include "formats/gpx_reader.h"
#include "formats/waypoint_files.h"
#include "records/error.h"
#include "records/waypoint.h"

namespace skylode {

class AppState;
struct FileDialogSpec;

// Registers Save wpts. As, Open wpts., Save log As and Write CTR(s) to .gpx
// file. Call before the KML commands, which offer the waypoint commands with
// their format alone when nobody offers them yet.
void RegisterWaypointCommands(AppState& app);

// The dialogs of Save wpts. As, Open wpts. and Save log As.
FileDialogSpec SaveWaypointsDialog();
FileDialogSpec OpenWaypointsDialog();
FileDialogSpec SaveLogAsDialog();
void SaveWaypointsAsCommand(AppState& app);
void OpenWaypointsCommand(AppState& app);
void SaveLogAsCommand(AppState& app);
void WriteCtrGpxCommand(AppState& app);

// Reads any waypoint file (recognised by its contents) after the file and
// decoding messages; the ID question goes to the person unless the run is
// hidden. Nothing after a message.
std::optional<WaypointList> ReadWaypointFile(AppState& app, const std::string& path);
// ReadWaypointFile, then into the list: replaces an empty list, otherwise
// asks whether to append (through the insert rule) or replace. 0 or -1.
int OpenWaypointFile(AppState& app, const std::string& path);

// The bytes of `list` in a waypoint file format; nothing for a format this
// build cannot write.
std::optional<std::string> BuildWaypointFile(WaypointFileFormat format, const WaypointList& list);

// Reads `path` as a GPX track (the segment chosen by the person when there
// are several) and installs it as the track log. 0, or -1 after a message.
int OpenGpxTrackLog(AppState& app, const std::string& path);

// The GPX reader's segment question, asked through the program's track list.
GpxTrackHooks GpxSegmentQuestion(AppState& app);

}  // namespace skylode
