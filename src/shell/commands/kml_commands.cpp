// The KML commands. As with the IGC commands, every check and message lives
// here, so the window, a hidden run and the tests follow the same rules.
#include "shell/commands/kml_commands.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <new>

#include "analysis/contest_score.h"
#include "analysis/flight_statistics.h"
#include "analysis/speed_filter.h"
#include "analysis/trip_search.h"
#include "formats/file_io.h"
#include "formats/kml_reader.h"
#include "formats/kml_writer.h"
#include "formats/waypoint_insert.h"
#include "shell/app_state.h"
#include "shell/command_line/command_line.h"
#include "shell/commands/command_ids.h"
#include "shell/commands/file_messages.h"
#include "shell/commands/menu_table.h"
#include "shell/commands/track_file_commands.h"
#include "shell/commands/track_file_questions.h"
#include "shell/commands/igc_commands.h"
#include "shell/commands/waypoint_commands.h"
#include "records/calendar.h"

namespace skylode {

namespace {

constexpr char kCaptionSaveLog[] = "Save log for Aerodiary";
constexpr char kCaptionAerodiaryDialog[] = "Save track for Aerodiary";
constexpr char kCaptionReadWaypoints[] = "Read waypoint file";
constexpr char kCaptionSaveWaypoints[] = "Save GoogleEarth waypoint file";

FileDialogSpec AerodiarySpec(std::string defaultName) {
  FileDialogSpec spec;
  spec.title = kCaptionAerodiaryDialog;
  spec.formats = {{"Aerodiary files", ".kml"}};
  spec.folderSetting = SettingId::kTrackLogDir;
  spec.defaultName = std::move(defaultName);
  return spec;
}

FileDialogSpec WaypointSpec(std::string title) {
  FileDialogSpec spec;
  spec.title = std::move(title);
  spec.formats = {{"GoogleEarth", ".kml"}};
  spec.folderSetting = SettingId::kWaypointDir;
  return spec;
}

// The file's bytes, or nothing after the same messages the IGC reader gives.
std::optional<std::string> ReadTrackFile(AppState& app, const std::string& path) {
  Result<std::string> file = ReadWholeFile(path);
  if (file.ok()) return std::move(*file);
  ShowFileMessage(app, TrackFileReadFailure(file.error()));
  return std::nullopt;
}

std::string DateText(uint32_t time) {
  const CalendarTime day = SecondsToDateTime(time);
  char text[32];
  std::snprintf(text, sizeof text, "%d-%02d-%02d", static_cast<int>(day.year), static_cast<int>(day.month),
                static_cast<int>(day.day));
  return text;
}

}  // namespace

void SaveAerodiaryLogCommand(AppState& app) {
  if (app.IsBusyOrWrongView(kCaptionSaveLog, ViewMode::kTrackLog) != 0) return;
  if (app.trackLog.empty()) {
    app.ShowMessage(Caption{kCaptionSaveLog}, "No positions");
    return;
  }
  std::vector<TrackPoint> points = app.CopySelectedTrackPoints();
  if (points.empty()) {
    app.ShowMessage(Caption{kCaptionSaveLog}, "No position(s) selected");
    return;
  }
  FlightStatistics stats;
  stats.points = std::move(points);
  SetStatisticsSource(stats, app.trackLog, CurrentTime());
  ComputeFlightStatistics(stats);
  TripSearchOptions options;
  options.loopFlightGap = static_cast<uint32_t>(app.settings().Number(SettingId::kLoopFlightGap));
  TripHaltFlag halt{false};
  // Without distances the file would claim flights of 0 km.
  if (RunTripSearch(stats.points, stats.trips, options, {}, halt) < 0) {
    app.ShowMessage(Caption{"Analysing track"}, "Memory allocation error");
    return;
  }

  const ContestScores contest = ScoreForSavedFile(stats.points);

  const auto file = app.AskSaveFile(AerodiarySpec(AerodiaryFileName(stats)));
  if (!file) return;
  const std::string description = DateText(stats.points.front().time);
  const SaveEnd end =
      SaveAerodiaryFile(app, file->path, stats, description,
                        {app.trackLog.instrumentText, options.loopFlightGap, &contest},
                        [&app, &file] { return AskExistingAerodiaryFile(app, file->path); });
  if (end != SaveEnd::kSaved) return;
  app.trackLog.saved = true;
  app.ShowMessage(Caption{kAerodiarySavedCaption}, AerodiarySavedText(stats.analysisTimeValid), BoxIcon::kNone);
  app.ui().SetProductLine(file->path);
}

int OpenKmlTrackLog(AppState& app, const std::string& path) {
  if (app.transferBusy()) {
    app.ShowMessage(Caption{kCaptionReadTrackFile}, kTextBusy);
    return -1;
  }
  const auto bytes = ReadTrackFile(app, path);
  if (!bytes) return -1;
  KmlTrackHooks hooks;
  hooks.tracksLimited = [&app] { app.ShowMessage(Caption{kKmlTrackCaption}, KmlTrackLimitText(), BoxIcon::kInformation); };
  hooks.chooseTrack = [&app](const std::vector<std::string>& labels) -> std::optional<size_t> {
    TrackListRequest request;
    request.title = "Track List";
    request.entries = labels;
    const auto chosen = app.ui().ChooseTracks(request);
    if (!chosen || chosen->empty()) return std::nullopt;
    const int first = chosen->front();
    if (first < 0 || static_cast<size_t>(first) >= labels.size()) return std::nullopt;
    return static_cast<size_t>(first);
  };
  Result<KmlTrack> read = ReadKmlTrack(*bytes, hooks);
  if (read.cancelled()) return -1;
  if (!read.ok()) {
    app.ShowMessage(Caption{kKmlTrackCaption}, read.error().text.empty() ? std::string("No track log found") : read.error().text);
    return -1;
  }
  KmlTrack& result = *read;
  if (result.points.empty()) {
    app.ShowMessage(Caption{kKmlTrackCaption}, "No track log positions found");
    return -1;
  }
  // Asked only once the file is known to be good: a bad file costs nothing.
  if (!app.trackLog.empty() && !app.trackLog.saved &&
      app.ShowMessage(Caption{"Unsaved track log"}, "Continue without saving current track log ?", BoxIcon::kWarning,
                      MessageButtons::kOkCancel, MessageAnswer::kCancel) != MessageAnswer::kOk)
    return -1;

  const std::string status = KmlTrackStatusText(result);
  OfferTimeOrderRepair(app, result.points);
  ClearTrackLog(app.trackLog, app.rawIgc);
  TrackLog log;
  log.points = std::move(result.points);
  log.sourceClassFlag = result.timesUtc;
  log.hasBaroHeight = result.hasPressure;
  log.gRecordValid = false;
  app.trackLog = std::move(log);
  app.SetViewMode(ViewMode::kTrackLog, true);
  // The count in the status is what the file held; after a repair the view
  // shows what was kept.
  app.ui().SetStatusLine(status);
  app.ui().SetProductLine(path);
  return 0;
}

FileDialogSpec OpenLogDialog() {
  FileDialogSpec spec;
  spec.title = "Read track log file";
  // The rows in the order the LogImportExt setting counts them.
  spec.formats = {{"Aerodiary files", ".kml"},    {"Ozi files", ".plt"},       {"Aerodiary (old) files", ".dat"},
                  {"TopNavigator files", ".tnc"}, {"MapSource files", ".mps"}, {"Magellan files", ".log"},
                  {"IGC files", ".igc"},          {"GPX files", ".gpx"},       {"CSV files", ".csv"}};
  spec.folderSetting = SettingId::kTrackLogDir;
  spec.filterSetting = SettingId::kLogImportExt;
  spec.allFiles = AllFilesRows::kPerFormat;
  return spec;
}

void OpenTrackLogCommand(AppState& app) {
  if (app.transferBusy()) {
    app.ShowMessage(Caption{kCaptionReadTrackFile}, kTextBusy);
    return;
  }
  const FileDialogSpec spec = OpenLogDialog();
  const auto file = app.AskOpenFile(spec);
  if (!file) return;
  // The filter decides, not the name: a track may sit in a file named anything.
  const std::string& extension = spec.formats[static_cast<size_t>(file->format)].extension;
  if (extension == ".kml") {
    OpenKmlTrackLog(app, file->path);
  } else if (extension == ".igc") {
    OpenIgcTrackLog(app, file->path);
  } else if (extension == ".gpx") {
    OpenGpxTrackLog(app, file->path);
  } else if (const auto other = OtherTrackFormatOf(extension)) {
    OpenOtherTrackLog(app, file->path, *other);
  }
}

int OpenKmlWaypoints(AppState& app, const std::string& path) {
  if (app.transferBusy()) {
    app.ShowMessage(Caption{kCaptionReadWaypoints}, kTextBusy);
    return -1;
  }
  Result<std::string> file = ReadWholeFile(path);
  if (!file.ok()) {
    if (file.error().kind == ErrorKind::kEmpty) {
      app.ShowMessage(Caption{kKmlWaypointCaption}, "File is empty");
    } else {
      app.ShowMessage(Caption{"Error opening waypoint file"}, file.error().SystemText(), BoxIcon::kInformation);
    }
    return -1;
  }
  const WaypointOverwriteQuestion ask = [&app](const Waypoint& existing) {
    return app.ShowMessage(Caption{kInsertWaypointCaption}, WaypointExistsQuestion(existing), BoxIcon::kQuestion,
                           MessageButtons::kYesNo, MessageAnswer::kNo) == MessageAnswer::kYes;
  };
  Result<WaypointList> read = ReadKmlWaypoints(*file, CurrentTime(), ask);
  if (!read.ok()) {
    app.ShowMessage(Caption{kKmlWaypointCaption}, read.error().text);
    return -1;
  }
  WaypointList& list = *read;
  const size_t count = list.items.size();
  const bool append = !app.waypoints.items.empty() &&
                      app.ShowMessage(Caption{kCaptionReadWaypoints}, "Append new waypoints to existing list ?",
                                      BoxIcon::kQuestion, MessageButtons::kYesNo,
                                      MessageAnswer::kYes) == MessageAnswer::kYes;
  if (append) {
    // Built on a copy: the list on screen changes only once all answers are in.
    WaypointList merged = app.waypoints;
    for (const Waypoint& w : list.items) InsertWaypoint(merged, w, ask);
    app.waypoints = std::move(merged);
  } else {
    app.waypoints = std::move(list);
  }
  app.SetViewMode(ViewMode::kWaypoints, true);
  app.ui().RefreshList(ViewMode::kWaypoints, app.waypoints.count());
  app.ui().SetStatusLine(std::to_string(count) + " waypoints read");
  app.ui().SetProductLine(path);
  return 0;
}

void OpenKmlWaypointsCommand(AppState& app) {
  if (app.transferBusy()) {
    app.ShowMessage(Caption{kCaptionReadWaypoints}, kTextBusy);
    return;
  }
  const auto file = app.AskOpenFile(WaypointSpec("Read waypoint file"));
  if (!file) return;
  OpenKmlWaypoints(app, file->path);
}

void SaveKmlWaypointsCommand(AppState& app) {
  if (app.IsBusyOrWrongView(kCaptionSaveWaypoints, ViewMode::kWaypoints) != 0) return;
  if (app.waypoints.items.empty()) {
    app.ShowMessage(Caption{kCaptionSaveWaypoints}, "No waypoints");
    return;
  }
  const auto file = app.AskSaveFile(WaypointSpec("Save waypoint file"));
  if (!file) return;
  if (!app.ConfirmNewFile(file->path)) return;
  if (const Status written = WriteGoogleEarthWaypoints(file->path, app.waypoints); !written.ok()) {
    const Error& e = written.error();
    std::string text = "Memory allocation error";
    if (e.kind != ErrorKind::kNoMemory) {
      text = "File write error";
      if (!e.osText.empty()) text += ": " + e.osText;
    }
    app.ShowMessage(Caption{kCaptionSaveWaypoints}, text);
    return;
  }
  app.ui().SetStatusLine(std::to_string(app.waypoints.items.size()) + " waypoints written");
  app.ui().SetProductLine(file->path);
}

int ReadAllTracksCommand(AppState& app, ProtocolType protocol) {
  if (app.transferBusy()) {
    app.ShowMessage(Caption{OperationCaption(AccessType::kReadTrackLog)}, kTextBusy);
    return -1;
  }
  // Asked before the download, so that no worker ever waits for a person
  // to name a file.
  const auto file = app.AskSaveFile(AerodiarySpec(""));
  if (!file) return -1;
  AppState* a = &app;
  return app.transfers().Start(AccessType::kReadTrackLog, protocol, {},
                               [a, path = file->path](TransferResult&& result) {
                                 auto* flights = std::get_if<FlightListPayload>(&result.payload);
                                 if (!result.succeeded() || flights == nullptr) return false;
                                 return SaveAllTracks(*a, flights->flights, path);
                               });
}

namespace {

bool WriteAllTracks(AppState& app, std::vector<TrackLog>& flights, const std::string& path) {
  constexpr size_t kMinimumPoints = 10;
  const bool speedFilter = app.settings().Number(SettingId::kLogFilter) != 0;
  const auto loopFlightGap = static_cast<uint32_t>(app.settings().Number(SettingId::kLoopFlightGap));
  TextOutputBuffer folders(10000);
  const int n = static_cast<int>(flights.size());
  for (int k = 1; k <= n; ++k) {
    TrackLog& flight = flights[static_cast<size_t>(k - 1)];
    std::vector<TrackPoint> points = std::move(flight.points);
    if (speedFilter && points.size() >= kMinimumPoints) SpeedFilter(points);
    // Too short to analyse: left out of the file.
    if (points.size() < kMinimumPoints) continue;
    app.ui().SetStatusLine(FormatProgress("Analysing track log % of %", k, n));
    FlightStatistics stats;
    stats.points = std::move(points);
    stats.analysisTimeValid = flight.gRecordValid;
    stats.analysisTime = flight.gRecordValid ? int64_t{CurrentTime()} : -1;
    stats.utcFlag = true;
    stats.pressureFlag = true;
    ComputeFlightStatistics(stats);

    TripSearchOptions search;
    search.loopFlightGap = loopFlightGap;
    TripHaltFlag halt{false};
    if (RunTripSearch(stats.points, stats.trips, search, {}, halt) < 0) {
      app.ShowMessage(Caption{"Analysing track"}, "Memory allocation error");
      return false;
    }
    const std::string description = DateText(stats.points.front().time);
    const ContestScores contest = ScoreForSavedFile(stats.points);
    if (const Status built = BuildKmlTrackFolder(folders, stats, description, {{}, loopFlightGap, &contest});
        !built.ok()) {
      app.ShowMessage(Caption{"Making GoogleEarth track folder"}, KmlFolderFailureText(built.error()));
      return false;
    }
  }

  const std::string text = WrapKmlDocument(folders.text());
  Status written = WriteFileAtomically(path, text, WriteMode::kCreateNew);
  if (!written.ok() && written.error().kind == ErrorKind::kExists) {
    if (app.ShowMessage(Caption{kCaptionAerodiaryDialog}, "File already exists. Overwrite ?", BoxIcon::kQuestion,
                        MessageButtons::kYesNo, MessageAnswer::kNo) != MessageAnswer::kYes)
      return false;
    written = WriteFileAtomically(path, text, WriteMode::kReplace);
  }
  if (!written.ok()) {
    const ErrorKind kind = written.error().kind;
    const bool opening = kind == ErrorKind::kCannotCreate || kind == ErrorKind::kExists;
    app.ShowMessage(Caption{opening ? "Error opening file" : "File write error"}, written.error().Describe());
    return false;
  }
  app.ShowMessage(Caption{kAerodiarySavedCaption}, "File written", BoxIcon::kInformation);
  app.ui().SetProductLine(path);
  return true;
}

}  // namespace

bool SaveAllTracks(AppState& app, std::vector<TrackLog>& flights, const std::string& path) {
  try {
    return WriteAllTracks(app, flights, path);
  } catch (const std::bad_alloc&) {
    app.ShowSystemError(Caption{"Memory allocation error"}, ENOMEM);
    return false;
  }
}

void RegisterKmlCommands(AppState& app) {
  AppState* a = &app;
  app.RegisterCommand(cmd::kSaveLog, [a] { SaveAerodiaryLogCommand(*a); });
  app.RegisterCommand(cmd::kOpenLog, [a] { OpenTrackLogCommand(*a); });
  if (!app.IsCommandAvailable(cmd::kOpenWaypoints))
    app.RegisterCommand(cmd::kOpenWaypoints, [a] { OpenKmlWaypointsCommand(*a); });
  if (!app.IsCommandAvailable(cmd::kSaveWaypointsAs))
    app.RegisterCommand(cmd::kSaveWaypointsAs, [a] { SaveKmlWaypointsCommand(*a); });
  for (const InstrumentFamily* family : InstrumentFamilies()) {
    for (const FamilyCommand& c : family->commands) {
      if (!c.manyFlights || !app.transfers().Has(c.access, c.protocol)) continue;
      app.RegisterCommand(c.id, [a, protocol = c.protocol] { ReadAllTracksCommand(*a, protocol); });
    }
  }
}

}  // namespace skylode
