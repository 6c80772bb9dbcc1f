// The KML commands of the File menu: "Save log" for the flight-log service,
// opening .kml tracks and waypoints, writing the waypoint list for
// GoogleEarth, and the file question of the all-tracks download.
#pragma once

#include <string>

#include "access/dispatcher.h"
#include "protocols/flytec/all_tracks.h"

namespace skylode {

class AppState;

// Registers "Save log" (and through it the save button), replaces "Open log"
// with one that offers .kml and .igc, and registers "Open wpts." and
// "Save wpts. As" with the GoogleEarth format when nobody offers them yet.
void RegisterKmlCommands(AppState& app);

// Statistics, trip search and the Aerodiary file of the selected points.
void SaveAerodiaryLogCommand(AppState& app);
// The open dialog with .kml and .igc; the reader is chosen by extension.
void OpenTrackLogCommand(AppState& app);
void OpenKmlWaypointsCommand(AppState& app);
void SaveKmlWaypointsCommand(AppState& app);

// Reads `path` as a KML track and installs it as the track log. 0, or -1
// after a message (or a cancelled choice); on -1 the loaded log is untouched.
int OpenKmlTrackLog(AppState& app, const std::string& path);
// Reads `path` as KML waypoints into the list by the insert rule. 0 or -1.
int OpenKmlWaypoints(AppState& app, const std::string& path);

// The options of the all-tracks download: the "Save track for Aerodiary"
// question runs on the UI thread for the worker. The speed filter and the
// loop flight gap are taken from the settings now.
flytec::AllTracksOptions MakeAllTracksOptions(AppState& app);

// Puts the all-tracks download into the table as read track log for its
// protocol, with the options built afresh on the UI thread for every run, so
// that settings changed after start-up (speed filter, loop flight gap) count.
// `app` must outlive the table's workers.
void RegisterAllTracksWorker(DeviceAccessTable& table, AppState& app, const flytec::FlytecTiming& timing = {});

}  // namespace skylode
