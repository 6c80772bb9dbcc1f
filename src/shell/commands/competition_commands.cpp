#include "shell/commands/competition_commands.h"

#include "analysis/track_split.h"
#include "formats/file_io.h"
#include "formats/pilot_list_file.h"
#include "shell/app_state.h"
#include "shell/commands/command_ids.h"

namespace skylode {
namespace {

void OnInstrumentWaypoint(AppState& app, const Waypoint& waypoint) {
  const PilotIds found = ReadPilotIdFromWaypoint(waypoint, app.competition.compSpecial);
  if (!found.any()) return;
  if (found.compId >= 0) app.instrumentPilotIds.compId = found.compId;
  if (found.civlId >= 0) app.instrumentPilotIds.civlId = found.civlId;
  app.ui().SetStatusLine(FoundIdsStatus(app.instrumentPilotIds));
}

// A person saving the arrived track: the same identification as a run
// nobody watches (the IDs from the instrument, the name from the list), and
// the file replaced when saved again.
void OnTrackArrived(AppState& app, bool success) {
  if (!success) return;
  UnattendedIdentification in;
  in.instrument = app.instrumentPilotIds;
  in.pilots = &app.pilots;
  app.checkInPilot = IdentifyUnattended(in);
  CheckInSave how;
  how.createNew = false;
  how.writeIgc = app.competition.compSpecial || app.options.addIgcToCompOut;
  how.speedCheck = app.settings().Number(SettingId::kLogFilter) != 0;
  how.folder = app.competition.trackLogFolder;
  SaveCheckIn(app, how);
}

}  // namespace

Result<PilotList> LoadPilotListFile(const std::string& path, PilotListFailure* failure) {
  auto fail = [&](std::string caption, std::string text, Error e) -> Result<PilotList> {
    if (failure) *failure = {std::move(caption), std::move(text)};
    return e;
  };
  Result<std::string> file = ReadWholeFile(path);
  if (!file.ok()) {
    const Error& e = file.error();
    if (e.kind == ErrorKind::kEmpty) return fail(std::string(kCaptionReadPilotList), "Database file is empty", e);
    if (e.kind == ErrorKind::kCannotOpen)
      return fail("Error opening database file", e.SystemText(), e);
    if (e.kind == ErrorKind::kNoMemory) return fail(std::string(kCaptionReadPilotList), "File buffer memory allocation", e);
    return fail("Database file read error", e.SystemText(), e);
  }
  Result<PilotList> list = ReadPilotListText(*file);
  if (!list.ok()) {
    std::string text = list.error().text;
    if (list.error().line > 0) text += " (line " + std::to_string(list.error().line) + ")";
    return fail(std::string(kCaptionDecodePilotList), text, list.error());
  }
  return list;
}

int ReadPilotListInto(AppState& app, const std::string& path, bool ask) {
  PilotListFailure failure;
  Result<PilotList> list = LoadPilotListFile(path, &failure);
  if (!list.ok()) {
    app.ShowMessage(Caption{failure.caption}, failure.text);
    return -1;
  }
  if (ask && !app.pilots.empty() &&
      app.ShowMessage(Caption{kCaptionDecodePilotList}, "Current list will be overwritten. Continue ?",
                      BoxIcon::kQuestion, MessageButtons::kOkCancel, MessageAnswer::kCancel) != MessageAnswer::kOk)
    return -1;
  app.pilots = std::move(*list);
  app.competition.pilotListFile = path;
  app.RefreshIfShown(ViewMode::kPilots);
  return 0;
}

CompetitionSaveOutcome SaveCheckIn(AppState& app, const CheckInSave& how) {
  CompetitionSaveEvents events;
  events.message = [&app](std::string_view text, bool warning) {
    app.ShowMessage(Caption{kCaptionSaveCompetition}, text, warning ? BoxIcon::kWarning : BoxIcon::kError);
  };
  events.product = [&app](std::string_view text) { app.ui().SetProductLine(text); };
  events.status = [&app](std::string_view text) { app.ui().SetStatusLine(text); };
  if (const CommandLineRun* run = app.commandLineRun(); run && run->notify) events.notify = run->notify;

  SelectedPositions selected = SelectCompetitionPositions(
      app.trackLog.points, {app.competition.compStart, app.competition.compStop});
  if (!selected.points.empty() && !how.keepAllParts) {
    const uint32_t gap = static_cast<uint32_t>(app.settings().Number(SettingId::kTrackGapTime));
    std::vector<TrackPoint>& points = selected.points;
    const size_t kept = SelectTrackParts(points, gap, [&](std::vector<TrackPart>& parts) {
      SplitLogRequest request;
      request.title = SplitDialogTitle(app.settings().Text(SettingId::kPortName), app.trackLog.modelName);
      for (size_t k = parts.size(); k-- > 0;) request.entries.push_back(FormatTrackPartRow(points.data(), parts[k]));
      auto chosen = app.ui().ChooseSplitParts(request);
      if (!chosen) return false;
      for (int pos : *chosen) {
        if (pos >= 0 && static_cast<size_t>(pos) < parts.size())
          parts[parts.size() - 1 - static_cast<size_t>(pos)].selected = true;
      }
      return true;
    });
    points.resize(kept);
  }
  if (selected.points.empty()) {
    const std::string text = NoPositionsText(selected);
    events.message(text, false);
    if (events.notify) events.notify(RefusalNotifyText(text));
    return {};
  }
  CompetitionSaveRequest request;
  request.points = std::move(selected.points);
  request.log = &app.trackLog;
  request.pilot = app.checkInPilot;
  request.folder = how.folder;
  request.writeIgc = how.writeIgc;
  request.speedCheck = how.speedCheck;
  request.createNew = how.createNew;
  request.loopFlightGap = static_cast<uint32_t>(app.settings().Number(SettingId::kLoopFlightGap));
  CompetitionSaveOutcome outcome = SaveCompetitionLog(request, events);
  if (outcome.end == CompetitionSaveEnd::kSaved) app.trackLog.saved = true;
  return outcome;
}

void SavePilotListCommand(AppState& app) {
  constexpr std::string_view kCaption = "Save pilot list";
  if (app.pilots.empty()) {
    app.ShowMessage(Caption{kCaption}, "No pilot list stored");
    return;
  }
  FileDialogSpec spec;
  spec.title = std::string(kCaption);
  spec.formats = {{"Pilot list files", ".csv"}};
  spec.folderSetting = SettingId::kPilotListDir;
  const auto file = app.AskSaveFile(spec);
  if (!file) return;
  if (app.CreateNewFile(file->path, BuildPilotCsv(app.pilots)) != 0) return;
  app.ui().SetStatusLine(std::to_string(app.pilots.items.size()) + " pilots written");
  app.ui().SetProductLine(file->path);
}

void RegisterCompetitionCommands(AppState& app) {
  AppState* a = &app;
  app.identifyPilot = [a](const Waypoint& w) { OnInstrumentWaypoint(*a, w); };
  app.competitionTrackArrived = [a](bool success) { OnTrackArrived(*a, success); };
  app.readPilotList = [a](const std::string& path) { ReadPilotListInto(*a, path, false); };
  app.RegisterCommand(cmd::kSavePilotListCsv, [a] { SavePilotListCommand(*a); });
}

}  // namespace skylode
