#include "shell/commands/competition_commands.h"

#include <cstdio>
#include <filesystem>

#include "analysis/track_split.h"
#include "records/calendar.h"
#include "shell/command_line/command_line.h"
#include "shell/commands/kml_commands.h"
#include "formats/file_io.h"
#include "formats/pilot_list_file.h"
#include "protocols/family.h"
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

CheckInSave InteractiveSave(AppState& app) {
  CheckInSave how;
  how.createNew = false;  // a person saving again replaces the file
  how.writeIgc = app.competition.compSpecial || app.options.addIgcToCompOut;
  how.speedCheck = app.settings().Number(SettingId::kLogFilter) != 0;
  how.folder = app.competition.trackLogFolder;
  return how;
}

// The arrived track of a person's download: who flew, the save, and the
// offer to write the IDs into an instrument that had none.
void OnTrackArrived(AppState& app, bool success) {
  if (!success) return;
  const bool instrumentHadIds = app.instrumentPilotIds.any();
  if (IdentifyPilot(app) != 0) return;
  SaveCheckIn(app, InteractiveSave(app));
  if (!instrumentHadIds) OfferPilotIdUpload(app);
}

// File > Save log in competition mode: the selected positions.
void SaveCompetitionSelection(AppState& app) {
  if (app.IsBusyOrWrongView(kCaptionSaveCompetition, ViewMode::kTrackLog) != 0) return;
  const std::vector<int32_t> rows = app.ui().SelectedRows(ViewMode::kTrackLog);
  if (rows.empty()) {
    app.ShowMessage(Caption{kCaptionSaveCompetition}, "No position(s) selected");
    return;
  }
  if (IdentifyPilot(app) != 0) return;
  std::vector<TrackPoint> selected;
  for (int32_t r : rows) {
    if (r >= 0 && static_cast<size_t>(r) < app.trackLog.points.size())
      selected.push_back(app.trackLog.points[static_cast<size_t>(r)]);
  }
  SaveCheckIn(app, InteractiveSave(app), &selected);
}

std::string PilotsText(const PilotList& list) {
  return list.empty() ? std::string() : std::to_string(list.items.size()) + " pilots";
}

std::vector<std::string> PilotRows(const PilotList& list) {
  std::vector<std::string> rows;
  for (const PilotEntry& p : list.items) rows.push_back(PilotChoiceText(p));
  return rows;
}

// Asks for a pilot list file and reads it: true when the list was replaced.
bool BrowsePilotList(AppState& app) {
  FileDialogSpec spec;
  spec.title = std::string(kCaptionReadPilotList);
  spec.formats = {{"FS Database files", ".fsdb"}, {"Pilot list files", ".csv"}};
  spec.folderSetting = SettingId::kPilotListDir;
  const auto file = app.AskOpenFile(spec);
  return file && ReadPilotListInto(app, file->path, true) == 0;
}

// What both pilot dialogs start from: the current pilot and the list.
IdentifyPilotRequest PilotRequest(AppState& app, const std::string& what) {
  IdentifyPilotRequest request;
  const std::string port = app.settings().Text(SettingId::kPortName);
  request.title = app.trackLog.modelName.empty() ? what + " (" + port + ")"
                                                 : what + " (" + port + ", " + app.trackLog.modelName + ")";
  const CheckInPilot& pilot = app.checkInPilot;
  request.initial.pilot.compId = pilot.compId >= 0 ? std::to_string(pilot.compId) : "";
  request.initial.pilot.civlId = pilot.civlId >= 0 ? std::to_string(pilot.civlId) : "";
  request.initial.pilot.name = pilot.name;
  request.pilotListFile = app.competition.pilotListFile;
  request.pilotRows = PilotRows(app.pilots);
  request.browsePilotList = [&app]() -> std::optional<std::pair<std::vector<std::string>, std::string>> {
    if (!BrowsePilotList(app)) return std::nullopt;
    return std::pair{PilotRows(app.pilots), app.competition.pilotListFile};
  };
  request.pilotChosen = [&app](int row) { return FieldsOfPilot(app.pilots, row); };
  request.idEdited = [&app](const PilotFields& now, bool compEdited) {
    return FieldsAfterIdEdit(app.pilots, now, compEdited);
  };
  return request;
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

CompetitionSaveOutcome SaveCheckIn(AppState& app, const CheckInSave& how, const std::vector<TrackPoint>* points) {
  CompetitionSaveEvents events;
  events.message = [&app](std::string_view text, bool warning) {
    app.ShowMessage(Caption{kCaptionSaveCompetition}, text, warning ? BoxIcon::kWarning : BoxIcon::kError);
  };
  events.product = [&app](std::string_view text) { app.ui().SetProductLine(text); };
  events.status = [&app](std::string_view text) { app.ui().SetStatusLine(text); };
  if (const CommandLineRun* run = app.commandLineRun(); run && run->notify) events.notify = run->notify;

  SelectedPositions selected = SelectCompetitionPositions(
      points ? *points : app.trackLog.points, {app.competition.compStart, app.competition.compStop});
  if (!how.keepAllParts) app.SelectPartsToKeep(selected.points);
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

std::optional<uint32_t> ParseCompetitionTime(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  // "YYYY-MM-DD HH:MM:SS": digits where the pattern has '9'.
  constexpr std::string_view kPattern = "9999-99-99 99:99:99";
  if (text.size() != kPattern.size()) return std::nullopt;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kPattern[i] == '9' ? !digit : text[i] != kPattern[i]) return std::nullopt;
  }
  std::string digits;
  for (char c : text) {
    if (c >= '0' && c <= '9') digits += c;
  }
  return ParseFilterTime(digits);
}

std::string CompetitionTimeText(uint32_t time, std::string_view none) {
  if (time == 0) return std::string(none);
  const CalendarTime t = SecondsToDateTime(time);
  char text[48];
  std::snprintf(text, sizeof text, "%d-%02d-%02d  %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
  return text;
}

bool SetCompetitionTimes(AppState& app) {
  constexpr Caption kCaption{"Read comp. time"};
  auto field = [](uint32_t time) {
    std::string text = CompetitionTimeText(time, "");
    if (const size_t gap = text.find("  "); gap != std::string::npos) text.erase(gap, 1);
    return text;
  };
  CompetitionTimesForm form{field(app.competition.compStart), field(app.competition.compStop)};
  for (;;) {
    const auto answer = app.ui().AskCompetitionTimes(form);
    if (!answer) return false;
    form = *answer;
    const bool hasStart = form.start.find_first_not_of(' ') != std::string::npos;
    const bool hasStop = form.stop.find_first_not_of(' ') != std::string::npos;
    const auto start = hasStart ? ParseCompetitionTime(form.start) : std::optional<uint32_t>(0);
    const auto stop = hasStop ? ParseCompetitionTime(form.stop) : std::optional<uint32_t>(0);
    if (!start) {
      app.ShowMessage(kCaption, "Bad start time");
      continue;
    }
    if (!stop) {
      app.ShowMessage(kCaption, "Bad stop time");
      continue;
    }
    if (*start != 0 && *stop != 0 && *stop <= *start) {
      app.ShowMessage(kCaption, "Stop time before start time");
      continue;
    }
    app.competition.compStart = *start;
    app.competition.compStop = *stop;
    return true;
  }
}

void CompetitionModeCommand(AppState& app) {
  const size_t pilotsBefore = app.pilots.items.size();
  const std::string listBefore = app.competition.pilotListFile;
  bool listRead = false;
  CompetitionModeRequest request;
  request.enabled = app.competition.competitionMode;
  request.pilotsText = PilotsText(app.pilots);
  request.startText = CompetitionTimeText(app.competition.compStart, "No start time");
  request.stopText = CompetitionTimeText(app.competition.compStop, "No stop time");
  request.readPilotList = [&app, &listRead] {
    listRead = BrowsePilotList(app) || listRead;
    return PilotsText(app.pilots);
  };
  request.setTimes = [&app] {
    SetCompetitionTimes(app);
    return std::pair{CompetitionTimeText(app.competition.compStart, "No start time"),
                     CompetitionTimeText(app.competition.compStop, "No stop time")};
  };
  // Cancel keeps the flag; a list or window set meanwhile stays.
  if (const auto enabled = app.ui().AskCompetitionMode(request)) app.competition.competitionMode = *enabled;
  app.RefreshTitle();
  if (listRead || app.pilots.items.size() != pilotsBefore || app.competition.pilotListFile != listBefore) {
    app.SetViewMode(ViewMode::kPilots, true);
    app.ui().SetStatusLine(std::to_string(app.pilots.items.size()) + " pilots registered");
  }
}

int IdentifyPilot(AppState& app) {
  // What the instrument said is where a person starts from, unless the
  // command line said otherwise.
  CheckInPilot& pilot = app.checkInPilot;
  if (pilot.compId < 0) pilot.compId = app.instrumentPilotIds.compId;
  if (pilot.civlId < 0) pilot.civlId = app.instrumentPilotIds.civlId;
  const PilotEntry* listed = FindListedPilot(app.pilots, {pilot.compId, pilot.civlId});
  if (pilot.name.empty() && listed) pilot.name = listed->name;
  IdentifyPilotRequest request = PilotRequest(app, "Save competition log");
  if (listed) request.initial.pilot.row = static_cast<int>(listed - app.pilots.items.data());
  request.initial.folder = app.competition.trackLogFolder;
  request.browseFolder = [&app](const std::string&) -> std::optional<std::string> {
    FileDialogSpec spec;
    spec.title = "Get track log folder";
    spec.formats = {{"Comp. files", ".kml"}};
    spec.folderSetting = SettingId::kCompDir;
    spec.defaultName = "<Name>.<Time>.<CIVLID>.<COMPID>";
    const auto file = app.AskSaveFile(spec);
    if (!file) return std::nullopt;
    return std::filesystem::path(file->path).parent_path().string();
  };

  IdentifyPilotForm form = request.initial;
  for (;;) {
    const auto answer = app.ui().AskIdentifyPilot(request);
    if (!answer) return -1;
    form = *answer;
    const Result<CheckInPilot> checked = CheckPilotFields(form.pilot);
    if (!checked.ok()) {
      app.ShowMessage(Caption{"Pilot parameter check"}, checked.error().text);
      request.initial = form;
      request.pilotRows = PilotRows(app.pilots);
      continue;
    }
    pilot = *checked;
    app.competition.trackLogFolder = form.folder;
    if (const CommandLineRun* run = app.commandLineRun(); run && run->notify) run->notify(PilotNotifyText(pilot));
    return 0;
  }
}

std::optional<WaypointList> SelectPilotForUpload(AppState& app, int32_t mode) {
  if (mode != 2 && mode != 3) return app.waypoints;
  constexpr Caption kCaption{"Check ID"};
  IdentifyPilotRequest request = PilotRequest(app, "Select pilot");
  request.selectForUpload = true;
  request.initial.dashId = app.competition.uploadDashId;
  for (;;) {
    const auto answer = app.ui().AskIdentifyPilot(request);
    if (!answer) return std::nullopt;
    request.initial = *answer;
    const PilotFields& f = answer->pilot;
    const auto blank = [](const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; };
    if (blank(f.compId) && blank(f.civlId)) {
      if (app.ShowMessage(kCaption, "Both IDs missing. Exit ?", BoxIcon::kQuestion, MessageButtons::kYesNo,
                          MessageAnswer::kNo) == MessageAnswer::kYes)
        return app.waypoints;
      continue;
    }
    // An ID the waypoint position cannot spell is as bad as a typing error:
    // it would come back as another pilot's.
    const auto comp = ParsePilotId(f.compId);
    if (!blank(f.compId) && (!comp || *comp > kPilotIdCodeMax)) {
      app.ShowMessage(kCaption, "Bad comp. ID");
      continue;
    }
    const auto civl = ParsePilotId(f.civlId);
    if (!blank(f.civlId) && (!civl || *civl > kPilotIdCodeMax)) {
      app.ShowMessage(kCaption, "Bad CIVL ID");
      continue;
    }
    app.competition.uploadDashId = answer->dashId;
    CheckInPilot chosen;
    chosen.compId = comp.value_or(-1);
    chosen.civlId = civl.value_or(-1);
    chosen.name = CleanPilotText(f.name, kCheckInPilotNameMax);
    app.checkInPilot = chosen;
    WaypointList list = app.waypoints;
    const uint32_t now = CurrentTime();
    if (auto w = MakePilotIdWaypoint(kCompIdWord, chosen.compId, now)) list.items.push_back(*w);
    if (auto w = MakePilotIdWaypoint(kCivlIdWord, chosen.civlId, now)) list.items.push_back(*w);
    if (answer->dashId) {
      if (auto w = MakeDashIdWaypoint(chosen.compId, now)) list.items.push_back(*w);
    }
    return list;
  }
}

void AddDeviceToPilot(AppState& app, std::string_view instrument) {
  if (instrument.empty()) return;
  for (PilotEntry& p : app.pilots.items) {
    if (p.name != app.checkInPilot.name) continue;
    for (const std::string& d : p.devices) {
      if (d == instrument) return;
    }
    for (std::string& d : p.devices) {
      if (d.empty()) {
        d = std::string(instrument.substr(0, kPilotDeviceMax));
        app.RefreshIfShown(ViewMode::kPilots);
        return;
      }
    }
    return;
  }
}

void OfferPilotIdUpload(AppState& app) {
  const CheckInPilot& pilot = app.checkInPilot;
  if (pilot.compId < 0 && pilot.civlId < 0) return;
  const ProtocolType protocol = app.trackLog.sourceProtocol;
  // Only instruments that take waypoints can carry the IDs.
  if (!app.transfers().Has(AccessType::kSendWaypoints, protocol)) return;
  const uint32_t now = CurrentTime();
  WaypointList ids;
  if (auto w = MakePilotIdWaypoint(kCompIdWord, pilot.compId, now)) ids.items.push_back(*w);
  if (auto w = MakePilotIdWaypoint(kCivlIdWord, pilot.civlId, now)) ids.items.push_back(*w);
  if (app.competition.uploadDashId) {
    if (auto w = MakeDashIdWaypoint(pilot.compId, now)) ids.items.push_back(*w);
  }
  if (ids.empty()) return;
  auto id = [](int32_t v) { return v >= 0 ? std::to_string(v) : std::string("-"); };
  const std::string text = "The GPS did not contain any COMPID or CIVLID.\r\nDo you want to upload the following ID(s) ?\r\n\r\n" +
                           pilot.name + "\r\n" + app.trackLog.modelName + "\r\nCOMPID: " + id(pilot.compId) +
                           "\r\nCIVLID: " + id(pilot.civlId);
  if (app.ShowMessage(Caption{"No pilot ID"}, text, BoxIcon::kQuestion, MessageButtons::kOkCancel,
                      MessageAnswer::kCancel) != MessageAnswer::kOk)
    return;
  const std::string instrument = app.trackLog.modelName;
  AppState* a = &app;
  app.transfers().Start(AccessType::kSendWaypoints, protocol, std::move(ids), [a, instrument](TransferResult&& r) {
    if (r.succeeded()) AddDeviceToPilot(*a, instrument);
    return r.succeeded();
  });
}

void RegisterCompetitionCommands(AppState& app) {
  AppState* a = &app;
  app.identifyPilot = [a](const Waypoint& w) { OnInstrumentWaypoint(*a, w); };
  app.competitionTrackArrived = [a](bool success) { OnTrackArrived(*a, success); };
  app.readPilotList = [a](const std::string& path) { ReadPilotListInto(*a, path, false); };
  app.RegisterCommand(cmd::kSavePilotListCsv, [a] { SavePilotListCommand(*a); });
  app.RegisterCommand(cmd::kCompetitionMode, [a] { CompetitionModeCommand(*a); });
  // Save log writes the competition output while competition mode is on.
  app.RegisterCommand(cmd::kSaveLog, [a] {
    if (a->competition.competitionMode) {
      SaveCompetitionSelection(*a);
    } else {
      SaveAerodiaryLogCommand(*a);
    }
  });
  app.competitionUploadList = [a](int32_t mode) { return SelectPilotForUpload(*a, mode); };
  app.competitionUploadDone = [a](ProtocolType protocol) {
    const InstrumentFamily* family = FamilyOfProtocol(protocol);
    // The model the last download named, when it came from the same family.
    const bool sameInstrument = !a->trackLog.modelName.empty() && a->trackLog.sourceProtocol == protocol;
    AddDeviceToPilot(*a, sameInstrument ? a->trackLog.modelName
                         : family       ? std::string(family->displayName)
                                        : std::string());
  };
}

}  // namespace skylode
