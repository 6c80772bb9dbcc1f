#include "shell/command_line/waypoint_steps.h"

#include "competition/pilot_id_waypoints.h"
#include "formats/file_io.h"
#include "records/calendar.h"
#include "protocols/family.h"
#include "shell/app_state.h"
#include "shell/commands/waypoint_commands.h"

namespace skylode {

void ApplyUploadNameRule(WaypointList& list, bool idBeforeName) {
  for (Waypoint& w : list.items) {
    if (idBeforeName) {
      std::string name = w.id + " " + w.name;
      if (name.size() > kWaypointNameMax) name = BoundedWaypointName(name);
      while (!name.empty() && name.back() == ' ') name.pop_back();
      w.name = std::move(name);
    } else if (w.name.empty()) {
      w.name = w.id;
    }
  }
}

std::optional<FileMessage> PrepareWaypointUpload(AppState& app, const CmdRun& run) {
  auto list = ReadWaypointFile(app, run.fileName);
  if (!list) return FileMessage{kReadWaypointsCaption, "File not read: " + run.fileName};
  const CommandLineName* gps = FindCommandLineName(run.gpsName);
  if (gps && gps->uploadNamesCarryIds)
    ApplyUploadNameRule(*list, run.operation == CmdOperation::kWriteWaypoints2);
  // The pilot's IDs go along, so that the next download names the pilot.
  const uint32_t now = CurrentTime();
  for (const auto& [word, id] : {std::pair{kCompIdWord, run.compId}, std::pair{kCivlIdWord, run.civlId}}) {
    if (id < 0) continue;
    const auto w = MakePilotIdWaypoint(word, id, now);
    // A number the position cannot spell would come back as another pilot's.
    if (!w) return FileMessage{"Upload waypoints", std::string(word) + " too large for an ID waypoint"};
    list->items.push_back(*w);
  }
  const size_t count = list->items.size();
  app.waypoints = std::move(*list);
  if (!run.exitWhenDone) {
    app.ui().SetStatusLine(std::to_string(count) + " waypoints read");
    app.SetViewMode(ViewMode::kWaypoints, true);
  }
  return std::nullopt;
}

WaypointSaveOutcome SaveDownloadedWaypoints(AppState& app, const CmdRun& run) {
  constexpr char kCaption[] = "Download waypoints";
  if (app.waypoints.empty()) return {FileMessage{kCaption, "No waypoints"}, {}};
  const WaypointFileFormat format =
      run.operation == CmdOperation::kReadGeoWaypoints ? WaypointFileFormat::kGeographical : WaypointFileFormat::kOzi;
  const std::string bytes = *BuildWaypointFile(format, app.waypoints);
  if (run.fileName.size() >= kCmdFileNameMax) return {FileMessage{kCaption, "Too long file name"}, {}};
  Status written = WriteFileAtomically(run.fileName, bytes, run.overwrite ? WriteMode::kReplace : WriteMode::kCreateNew);
  if (!written.ok() && written.error().kind == ErrorKind::kExists) {
    // In a hidden run the default answer (No) leaves the file alone.
    if (app.ShowMessage(Caption{kIgcFileExistsCaption}, kIgcFileExistsText, BoxIcon::kQuestion, MessageButtons::kYesNo,
                        MessageAnswer::kNo) != MessageAnswer::kYes)
      return {FileMessage{kCaption, "File not written: " + run.fileName}, {}};
    written = WriteFileAtomically(run.fileName, bytes, WriteMode::kReplace);
  }
  if (!written.ok()) return {WaypointSaveFailure(written.error(), kCaption), {}};
  app.ui().SetProductLine(run.fileName);
  return {std::nullopt, std::to_string(app.waypoints.items.size()) + " waypoints written"};
}

}  // namespace skylode
