#include "shell/commands/waypoint_commands.h"

#include <algorithm>
#include <span>

#include "formats/ctr_outline.h"
#include "formats/file_io.h"
#include "formats/gpx_reader.h"
#include "formats/gpx_writer.h"
#include "formats/kml_writer.h"
#include "formats/waypoint_insert.h"
#include "records/calendar.h"
#include "shell/app_state.h"
#include "shell/command_line/command_line.h"
#include "shell/commands/command_ids.h"
#include "shell/commands/file_messages.h"
#include "shell/commands/track_file_commands.h"
#include "shell/commands/track_file_questions.h"

namespace skylode {
namespace {

constexpr char kCaptionSaveLogAs[] = "Save track log";
constexpr char kCaptionSaveCtrGpx[] = "Save CTR(s) in .gpx file";

struct WaypointExportRow {
  const char* name;
  const char* extension;
  WaypointFileFormat format;
};

// The save dialog's rows, in the order the WptExportExt setting counts them.
constexpr WaypointExportRow kExportRows[] = {
    {"Ozi", ".wpt", WaypointFileFormat::kOzi},
    {"UTM", ".wpt", WaypointFileFormat::kUtm},
    {"Geographical", ".wpt", WaypointFileFormat::kGeographical},
    {"MapSource", ".mps", WaypointFileFormat::kMapSource},
    {"SeeYou", ".cup", WaypointFileFormat::kSeeYou},
    {"GPX", ".gpx", WaypointFileFormat::kGpx},
    {"GoogleEarth", ".kml", WaypointFileFormat::kGoogleEarth},
    {"WinPilot", ".dat", WaypointFileFormat::kWinPilot},
};

// The selected rows of `view` that exist, in the list's order, each once:
// a file holds the list as it stands, whatever order the rows were picked in.
std::vector<size_t> SelectedRowsOf(AppState& app, ViewMode view, int32_t count) {
  std::vector<int32_t> rows = app.ui().SelectedRows(view);
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  std::vector<size_t> valid;
  for (int32_t row : rows)
    if (row >= 0 && row < count) valid.push_back(static_cast<size_t>(row));
  return valid;
}

std::vector<Waypoint> SelectedWaypoints(AppState& app) {
  std::vector<Waypoint> chosen;
  for (size_t row : SelectedRowsOf(app, ViewMode::kWaypoints, app.waypoints.count()))
    chosen.push_back(app.waypoints.items[row]);
  return chosen;
}

}  // namespace

FileDialogSpec SaveWaypointsDialog() {
  FileDialogSpec spec;
  spec.title = kSaveWaypointsCaption;
  for (const auto& row : kExportRows) spec.formats.push_back({std::string(row.name) + " files", row.extension});
  spec.folderSetting = SettingId::kWaypointDir;
  spec.filterSetting = SettingId::kWptExportExt;
  spec.allFiles = AllFilesRows::kPerFormat;
  spec.stored = StoredFilter::kFormatRow;
  return spec;
}

FileDialogSpec OpenWaypointsDialog() {
  FileDialogSpec spec;
  spec.title = "Read waypoints";
  spec.formats = {{"Ozi/Skylode", ".wpt"}, {"MapSource", ".mps"}, {"SeeYou", ".cup"},
                  {"GPS exchange", ".gpx"}, {"GoogleEarth", ".kml"}, {"WinPilot", ".dat"}};
  spec.folderSetting = SettingId::kWaypointDir;
  spec.filterSetting = SettingId::kWptImportExt;
  // The reader knows the format from the file's first bytes.
  spec.allFilesName = "All files (*.*)";
  spec.stored = StoredFilter::kFormatRow;
  return spec;
}

std::optional<std::string> BuildWaypointFile(WaypointFileFormat format, const WaypointList& list) {
  switch (format) {
    case WaypointFileFormat::kOzi: return BuildOziWaypointFile(list);
    case WaypointFileFormat::kUtm: return BuildUtmWaypointFile(list);
    case WaypointFileFormat::kGeographical: return BuildGeographicalWaypointFile(list);
    case WaypointFileFormat::kSeeYou: return BuildSeeYouWaypointFile(list);
    case WaypointFileFormat::kGpx: return BuildGpxWaypoints(list, CurrentTime());
    case WaypointFileFormat::kGoogleEarth: return BuildKmlWaypointDocument(list);
    case WaypointFileFormat::kWinPilot: return BuildWinPilotWaypointFile(list);
    case WaypointFileFormat::kMapSource: {
      const std::vector<uint8_t> bytes = BuildMapSourceWaypoints(list);
      return std::string(bytes.begin(), bytes.end());
    }
  }
  return std::nullopt;
}

void SaveWaypointsAsCommand(AppState& app) {
  if (app.IsBusyOrWrongView(kSaveWaypointsCaption, ViewMode::kWaypoints) != 0) return;
  if (app.waypoints.empty()) {
    app.ShowMessage(Caption{kSaveWaypointsCaption}, "No waypoints");
    return;
  }
  WaypointList list;
  list.items = SelectedWaypoints(app);
  if (list.empty()) {
    app.ShowMessage(Caption{kSaveWaypointsCaption}, "No waypoints selected");
    return;
  }
  const auto file = app.AskSaveFile(SaveWaypointsDialog());
  if (!file) return;
  const auto bytes = BuildWaypointFile(kExportRows[file->format].format, list);
  if (!bytes) {
    app.ShowMessage(Caption{kSaveWaypointsCaption}, kTextNotAvailable);
    return;
  }
  if (app.CreateNewFile(file->path, *bytes) != 0) return;
  app.ui().SetStatusLine(std::to_string(list.items.size()) + " waypoints written");
  app.ui().SetProductLine("File written");
}

std::optional<WaypointList> ReadWaypointFile(AppState& app, const std::string& path) {
  Result<std::string> file = ReadWholeFile(path);
  if (!file.ok()) {
    ShowFileMessage(app, WaypointFileReadFailure(file.error()));
    return std::nullopt;
  }
  WaypointReadOptions options;
  options.now = CurrentTime();
  // A hidden run has nobody to ask; it takes the dialog's default.
  if (!app.hiddenRun()) options.askModifyId = [&app](std::string_view id) { return app.ui().AskModifyWaypointId(id); };
  Result<WaypointList> read = ReadWaypointText(*file, options);
  if (!read.ok()) {
    ShowFileMessage(app, WaypointDecodeFailure(read.error(), RecogniseWaypointFile(*file)));
    return std::nullopt;
  }
  return std::move(*read);
}

int OpenWaypointFile(AppState& app, const std::string& path) {
  if (app.transferBusy()) {
    app.ShowMessage(Caption{kReadWaypointsCaption}, kTextBusy);
    return -1;
  }
  auto list = ReadWaypointFile(app, path);
  if (!list) return -1;
  const size_t count = list->items.size();
  app.ui().SetStatusLine(std::to_string(count) + " waypoints read");
  const bool append = !app.waypoints.empty() &&
                      app.ShowMessage(Caption{kReadWaypointsCaption}, "Append new waypoints to existing list ?",
                                      BoxIcon::kQuestion, MessageButtons::kYesNo,
                                      MessageAnswer::kYes) == MessageAnswer::kYes;
  if (append) {
    // Built on a copy: the list on screen changes only once all answers are in.
    WaypointList merged = app.waypoints;
    const WaypointOverwriteQuestion ask = [&app](const Waypoint& existing) {
      return app.ShowMessage(Caption{kInsertWaypointCaption}, WaypointExistsQuestion(existing), BoxIcon::kQuestion,
                             MessageButtons::kYesNo, MessageAnswer::kNo) == MessageAnswer::kYes;
    };
    for (const Waypoint& w : list->items) InsertWaypoint(merged, w, ask);
    app.waypoints = std::move(merged);
  } else {
    app.waypoints = std::move(*list);
  }
  app.SetViewMode(ViewMode::kWaypoints, true);
  app.ui().RefreshList(ViewMode::kWaypoints, app.waypoints.count());
  app.ui().SetProductLine(path);
  return 0;
}

void OpenWaypointsCommand(AppState& app) {
  if (app.transferBusy()) {
    app.ShowMessage(Caption{kReadWaypointsCaption}, kTextBusy);
    return;
  }
  const auto file = app.AskOpenFile(OpenWaypointsDialog());
  if (!file) return;
  OpenWaypointFile(app, file->path);
}

GpxTrackHooks GpxSegmentQuestion(AppState& app) {
  GpxTrackHooks hooks;
  hooks.chooseTrack = [&app](const std::vector<std::string>& labels) -> std::optional<size_t> {
    TrackListRequest request;
    request.title = "Track List";
    request.entries = labels;
    request.multiple = false;
    const auto chosen = app.ui().ChooseTracks(request);
    if (!chosen || chosen->empty()) return std::nullopt;
    const int first = chosen->front();
    if (first < 0 || static_cast<size_t>(first) >= labels.size()) return std::nullopt;
    return static_cast<size_t>(first);
  };
  return hooks;
}

int OpenGpxTrackLog(AppState& app, const std::string& path) {
  if (app.transferBusy()) {
    app.ShowMessage(Caption{kCaptionReadTrackFile}, kTextBusy);
    return -1;
  }
  Result<std::string> file = ReadWholeFile(path);
  if (!file.ok()) {
    ShowFileMessage(app, TrackFileReadFailure(file.error()));
    return -1;
  }
  Result<std::vector<TrackPoint>> read = ReadGpxTrack(*file, GpxSegmentQuestion(app));
  if (read.cancelled()) return -1;
  if (!read.ok()) {
    app.ShowMessage(Caption{kKmlTrackCaption}, read.error().text.empty() ? read.error().Describe() : read.error().text);
    return -1;
  }
  if (!app.trackLog.empty() && !app.trackLog.saved &&
      app.ShowMessage(Caption{"Unsaved track log"}, "Continue without saving current track log ?", BoxIcon::kWarning,
                      MessageButtons::kOkCancel, MessageAnswer::kCancel) != MessageAnswer::kOk)
    return -1;
  std::vector<TrackPoint> points = std::move(*read);
  const size_t count = points.size();
  OfferTimeOrderRepair(app, points);
  ClearTrackLog(app.trackLog, app.rawIgc);
  TrackLog log;
  log.points = std::move(points);
  app.trackLog = std::move(log);
  app.SetViewMode(ViewMode::kTrackLog, true);
  app.ui().SetStatusLine(std::to_string(count) + " positions read");
  app.ui().SetProductLine(path);
  return 0;
}

FileDialogSpec SaveLogAsDialog() {
  FileDialogSpec spec;
  spec.title = kCaptionSaveLogAs;
  // The order is the one the LogExportExt setting counts.
  spec.formats = {{"Ozi files", ".plt"},
                  {"MapSource files", ".mps"},
                  {"TopNavigator files", ".tnc"},
                  {"GPX files", ".gpx"},
                  {"CSV files", ".csv"}};
  spec.folderSetting = SettingId::kTrackLogDir;
  spec.filterSetting = SettingId::kLogExportExt;
  spec.allFiles = AllFilesRows::kPerFormat;
  return spec;
}

void SaveLogAsCommand(AppState& app) {
  if (app.IsBusyOrWrongView(kCaptionSaveLogAs, ViewMode::kTrackLog) != 0) return;
  if (app.trackLog.empty()) {
    app.ShowMessage(Caption{kCaptionSaveLogAs}, "No positions");
    return;
  }
  std::vector<TrackPoint> points = app.CopySelectedTrackPoints();
  if (points.empty()) {
    app.ShowMessage(Caption{kCaptionSaveLogAs}, "No position(s) selected");
    return;
  }
  const FileDialogSpec spec = SaveLogAsDialog();
  const auto file = app.AskSaveFile(spec);
  if (!file) return;
  const std::string& extension = spec.formats[static_cast<size_t>(file->format)].extension;
  std::optional<std::string> bytes;
  if (extension == ".gpx") {
    bytes = BuildGpxTrack(points, CurrentTime());
  } else if (const auto other = OtherTrackFormatOf(extension)) {
    bytes = BuildOtherTrackFile(*other, points, app.trackLog.hasBaroHeight);
  }
  if (!bytes) {
    app.ShowMessage(Caption{kCaptionSaveLogAs}, kTextNotAvailable);
    return;
  }
  if (app.CreateNewFile(file->path, *bytes) != 0) return;
  app.trackLog.saved = true;
  app.ui().SetStatusLine(std::to_string(points.size()) + " positions written");
  app.ui().SetProductLine(file->path);
}

void WriteCtrGpxCommand(AppState& app) {
  if (app.IsBusyOrWrongView(kCaptionSaveCtrGpx, ViewMode::kCtr) != 0) return;
  std::vector<CtrOutline> outlines;
  for (size_t row : SelectedRowsOf(app, ViewMode::kCtr, app.ctrs.count())) {
    const CtrArea& area = app.ctrs.areas[row];
    Result<std::vector<LatLonDegrees>> points = ExpandCtrOutline(area);
    if (!points.ok()) {
      app.ShowMessage(Caption{"CTR list action"}, "Program error");
      return;
    }
    outlines.push_back({area.name, area.ceiling, area.floor, std::move(*points)});
  }
  if (outlines.empty()) {
    app.ShowMessage(Caption{kCaptionSaveCtrGpx}, "No CTR selected");
    return;
  }
  FileDialogSpec spec;
  spec.title = "Save CTR(s)";
  spec.formats = {{"CTR files", ".gpx"}};
  spec.folderSetting = SettingId::kCtrDir;
  const auto file = app.AskSaveFile(spec);
  if (!file) return;
  if (app.CreateNewFile(file->path, BuildGpxCtrs(outlines, CurrentTime())) != 0) return;
  app.ui().SetStatusLine(std::to_string(outlines.size()) + " CTR(s) written");
  app.ui().SetProductLine(file->path);
}

void RegisterWaypointCommands(AppState& app) {
  AppState* a = &app;
  app.RegisterCommand(cmd::kSaveWaypointsAs, [a] { SaveWaypointsAsCommand(*a); });
  app.RegisterCommand(cmd::kOpenWaypoints, [a] { OpenWaypointsCommand(*a); });
  app.RegisterCommand(cmd::kSaveLogAs, [a] { SaveLogAsCommand(*a); });
  app.RegisterCommand(cmd::kWriteCtrGpx, [a] { WriteCtrGpxCommand(*a); });
}

}  // namespace skylode
