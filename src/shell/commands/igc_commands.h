// The IGC commands of the File menu: saving the track log as IGC with our
// security record, saving an instrument's own IGC text, checking the
// security record of a file, and opening an .igc file as the track log.
#pragma once

#include <string>

namespace skylode {

class AppState;

// Registers "Save log in IGC format", "Save IGC log from GPS" and "Verify IGC
// log". "Open log" is registered only when nobody offers it yet: the full
// reader of every track format takes precedence and calls OpenIgcTrackLog.
void RegisterIgcCommands(AppState& app);

void SaveIgcTrackLogCommand(AppState& app);
void SaveRawIgcLogCommand(AppState& app);
void VerifyIgcLogCommand(AppState& app);
// The open dialog with the IGC format, then OpenIgcTrackLog.
void OpenIgcLogCommand(AppState& app);

// Reads `path` and installs its points as the track log, with the file's text
// kept as the raw IGC log. Asks before an unsaved log is replaced. 0, or -1
// after a message; on -1 the loaded log and raw log are untouched.
int OpenIgcTrackLog(AppState& app, const std::string& path);

}  // namespace skylode
