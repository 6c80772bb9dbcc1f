// The CTR menu's own commands: read and write OpenAir files, edit, add and
// delete areas, and show an area's outline as waypoints. The uploads and the
// download are the instrument families' entries of the same menu.
#pragma once

#include <optional>
#include <string>

#include "records/ctr_list.h"

namespace skylode {

class AppState;

inline constexpr char kReadCtrCaption[] = "Read CTR file";
inline constexpr char kParseCtrCaption[] = "Parsing CTR buffer";
inline constexpr char kEditCtrCaption[] = "Edit CTR";

void RegisterCtrCommands(AppState& app);

void ReadCtrFileCommand(AppState& app);
void WriteCtrFileCommand(AppState& app);
void EditCtrCommand(AppState& app);
void NewCtrCommand(AppState& app);
void DeleteCtrCommand(AppState& app);
void ShowCtrAsWaypointsCommand(AppState& app);

// Reads an OpenAir file: nothing after a message (the file, the parser);
// skipped records are reported, DY records notified through the UI.
std::optional<CtrList> ReadCtrFile(AppState& app, const std::string& path);

// ReadCtrFile, then into the list ("Keep current CTR list ?" when there is
// one), the equal-name check, the CTR view. 0 or -1.
int OpenCtrFile(AppState& app, const std::string& path);

// The command line's airspace upload: the file read into the list (which it
// replaces), every area marked for the upload, "%d CTRs read", and the CTR
// view when `showView`. 0 or -1 after a message.
int LoadCtrFileForUpload(AppState& app, const std::string& path, bool showView);

}  // namespace skylode
