// The KML commands of the File menu: "Save log" for the flight-log service,
// opening .kml tracks and waypoints, writing the waypoint list for
// GoogleEarth, and the all-tracks download with its file.
#pragma once

#include <string>
#include <vector>

#include "records/device_types.h"
#include "records/track_log.h"

namespace skylode {

class AppState;
struct FileDialogSpec;

// Registers "Save log" (and through it the save button), replaces "Open log"
// with one that offers .kml and .igc, registers "Open wpts." and "Save wpts.
// As" with the GoogleEarth format when nobody offers them yet, and the
// all-tracks download commands.
void RegisterKmlCommands(AppState& app);

// Statistics, trip search and the Aerodiary file of the selected points.
void SaveAerodiaryLogCommand(AppState& app);
// The open dialog with .kml and .igc; the reader is chosen by extension.
// The Open log dialog: its rows in the order the LogImportExt setting counts.
FileDialogSpec OpenLogDialog();
void OpenTrackLogCommand(AppState& app);
void OpenKmlWaypointsCommand(AppState& app);
void SaveKmlWaypointsCommand(AppState& app);

// Reads `path` as a KML track and installs it as the track log. 0, or -1
// after a message (or a cancelled choice); on -1 the loaded log is untouched.
int OpenKmlTrackLog(AppState& app, const std::string& path);
// Reads `path` as KML waypoints into the list by the insert rule. 0 or -1.
int OpenKmlWaypoints(AppState& app, const std::string& path);

// The all-tracks download of `protocol`: asks for the Aerodiary file first,
// then reads the flights the person chooses; the completion files them with
// SaveAllTracks. 0, or -1 when nothing started.
int ReadAllTracksCommand(AppState& app, ProtocolType protocol);

// Every flight of an all-tracks download into one Aerodiary file at `path`:
// each through the speed filter (when set), then, if ten points or more are
// left, its statistics, trip search and folder. Asks before replacing a file.
// True once the file is written.
bool SaveAllTracks(AppState& app, std::vector<TrackLog>& flights, const std::string& path);

}  // namespace skylode
