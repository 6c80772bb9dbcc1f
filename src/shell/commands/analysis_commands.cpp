// The Flight statistics dialog's work and the Rotate Track command.
#include "shell/commands/analysis_commands.h"

#include <algorithm>

#include "analysis/coordinate_text.h"
#include "formats/kml_writer.h"
#include "shell/app_state.h"
#include "shell/commands/command_ids.h"
#include "shell/commands/file_messages.h"
#include "shell/commands/track_file_questions.h"
#include "records/angles.h"
#include "records/calendar.h"
#include "records/numeric.h"

namespace skylode {

namespace {

constexpr char kCaptionSaveTrack[] = "Save track log";
constexpr char kCaptionAnalysing[] = "Analysing track";
constexpr char kCaptionRotate[] = "Rotate track log";
constexpr char kCaptionDecode[] = "Decode position";

bool Blank(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || c == '\t'; });
}

}  // namespace

// --- Flight statistics ---------------------------------------------------------------

FlightStatisticsSession::FlightStatisticsSession(AppState& app, FlightStatistics stats, TripSearchOptions options)
    : app_(app), stats_(std::move(stats)), texts_(FormatStatistics(stats_)), options_(options) {}

FlightStatisticsSession::~FlightStatisticsSession() { Close(); }

void FlightStatisticsSession::Start() {
  if (started_ || closed_) return;
  started_ = true;
  // Proving a score best can take long on a hard flight: the dialog then
  // shows the best found with its ceiling.
  contest_.Start(stats_.points, kWindowContestSeconds);
  std::weak_ptr<Status> weak = status_;
  // The callback holds the status block only while it writes, so a search
  // that is let go after the dialog closed writes into nothing.
  runner_.Start(stats_.points, options_, [weak](std::string_view text) {
    if (auto status = weak.lock()) {
      std::lock_guard lock(status->lock);
      if (!status->frozen) status->text.assign(text);
    }
  });
}

void FlightStatisticsSession::SetStatus(std::string_view text) {
  std::lock_guard lock(status_->lock);
  status_->text.assign(text);
}

std::string FlightStatisticsSession::StatusText() const {
  std::lock_guard lock(status_->lock);
  return status_->text;
}

bool FlightStatisticsSession::Poll() {
  if (finished_ || !started_ || closed_) return false;
  auto outcome = runner_.Result();
  if (!outcome) return false;
  finished_ = true;
  if (outcome->status < 0) {
    failed_ = true;
    app_.ShowMessage(Caption{kCaptionAnalysing}, "Memory allocation error");
    return true;
  }
  stats_.trips = outcome->distances;
  return true;
}

bool FlightStatisticsSession::WaitFinished(std::chrono::milliseconds timeout) {
  if (started_ && !closed_) runner_.Wait(timeout);
  Poll();
  return finished_;
}

std::optional<std::array<std::string, 7>> FlightStatisticsSession::TripTexts() const {
  if (!finished_ || failed_) return std::nullopt;
  const TripDistances& t = stats_.trips;
  return std::array<std::string, 7>{FormatTripKm(t.open),         FormatTripKm(t.three),
                                    FormatTripKm(t.four),         FormatTripKm(t.five),
                                    FormatTripKm(t.outAndReturn), FormatTripKm(t.flatTriangle),
                                    FormatTripKm(t.faiTriangle)};
}

std::optional<std::array<std::string, 2>> FlightStatisticsSession::ContestTexts() const {
  return contest_.Summaries();
}

void FlightStatisticsSession::Halt() {
  contest_.Cancel();
  runner_.Halt();
  Poll();
  if (!finished_) {
    std::lock_guard lock(status_->lock);
    status_->text = kStatisticsHaltedText;
    status_->frozen = true;
  }
}

bool FlightStatisticsSession::Save(std::string_view description) {
  Poll();
  if (!finished_) {
    app_.ShowMessage(Caption{kCaptionSaveTrack}, "Statistics not yet finished");
    return false;
  }
  // Without distances the file would claim flights of 0 km.
  if (failed_) {
    app_.ShowMessage(Caption{kCaptionAnalysing}, "Memory allocation error");
    return false;
  }
  FileDialogSpec spec;
  spec.title = "Save track for Aerodiary";
  spec.formats = {{"Aerodiary files", ".kml"}};
  spec.folderSetting = SettingId::kTrackLogDir;
  spec.defaultName = AerodiaryFileName(stats_);
  const auto file = app_.AskSaveFile(spec);
  if (!file) return false;

  const std::string_view text = description.substr(0, kLogDescriptionMax);
  const uint32_t gap = static_cast<uint32_t>(app_.settings().Number(SettingId::kLoopFlightGap));
  // The scores the dialog shows when it has them; else what any save gives.
  const std::optional<ContestScores> shown = contest_.Result();
  const ContestScores contest = shown ? *shown : ScoreForSavedFile(stats_.points);
  const SaveEnd end = SaveAerodiaryFile(app_, file->path, stats_, text, {app_.trackLog.instrumentText, gap, &contest},
                                        [this, &file] { return AskExistingAerodiaryFile(app_, file->path); });
  if (end != SaveEnd::kSaved) return false;
  app_.ShowMessage(Caption{kAerodiarySavedCaption}, AerodiarySavedText(stats_.analysisTimeValid), BoxIcon::kNone);
  app_.trackLog.saved = true;
  return true;
}

void FlightStatisticsSession::Close() {
  if (closed_) return;
  closed_ = true;
  contest_.Cancel();
  if (!started_) return;
  {
    std::lock_guard lock(status_->lock);
    status_->frozen = true;
  }
  // A search still busy after the wait keeps its own copy and ends on its own.
  runner_.Stop(kStatisticsCloseWait);
}

void FlightStatisticsCommand(AppState& app) {
  if (app.IsBusyOrWrongView(kStatisticsCaption, ViewMode::kTrackLog) != 0) return;
  std::vector<TrackPoint> points = app.CopySelectedTrackPoints();
  const bool logFilter = app.settings().Number(SettingId::kLogFilter) != 0;
  const StatisticsSelection selection = PrepareStatisticsSelection(points, logFilter);
  switch (selection) {
    case StatisticsSelection::kReady: break;
    case StatisticsSelection::kFiltered:
      app.ShowMessage(Caption{kStatisticsCaption}, StatisticsSelectionMessage(selection), BoxIcon::kNone);
      break;
    default: app.ShowMessage(Caption{kStatisticsCaption}, StatisticsSelectionMessage(selection)); return;
  }
  FlightStatistics stats;
  stats.points = std::move(points);
  SetStatisticsSource(stats, app.trackLog, CurrentTime());
  ComputeFlightStatistics(stats);

  TripSearchOptions options;
  options.loopFlightGap = static_cast<uint32_t>(app.settings().Number(SettingId::kLoopFlightGap));
  FlightStatisticsSession session(app, std::move(stats), options);
  session.Start();
  app.ui().ShowFlightStatistics(session);
  session.Close();
}

// --- Rotate Track ----------------------------------------------------------------------

RotateTrackForm RotateTrackFormFor(const RotationPositions& positions) {
  auto dms = [](int32_t semicircles, bool isLatitude) {
    return FormatDms(ClampRound<int32_t>(semicircles * kSemicirclesToCentiSeconds), isLatitude);
  };
  return {dms(positions.start.latitude, true), dms(positions.start.longitude, false),
          dms(positions.end.latitude, true), dms(positions.end.longitude, false)};
}

std::string CheckRotateTrackForm(const RotateTrackForm& form, RotationPositions& out) {
  struct Field {
    const std::string& text;
    bool isLatitude;
    const char* missing;
    const char* bad;
  };
  const Field fields[] = {
      {form.startLatitude, true, "Missing start latitude input", "Bad start latitude input"},
      {form.startLongitude, false, "Missing start longitude input", "Bad start longitude input"},
      {form.endLatitude, true, "Missing end latitude input", "Bad end latitude input"},
      {form.endLongitude, false, "Missing end longitude input", "Bad end longitude input"},
  };
  double radians[4] = {};
  for (size_t i = 0; i < 4; ++i) {
    if (Blank(fields[i].text)) return fields[i].missing;
    if (ParseCoordinate(fields[i].text, fields[i].isLatitude, radians[i]) != 0) return fields[i].bad;
  }
  const auto start = RadiansToSemicircles({radians[0], radians[1]});
  const auto end = RadiansToSemicircles({radians[2], radians[3]});
  if (!start) return fields[0].bad;
  if (!end) return fields[2].bad;
  if (RotationPositionsTooClose(*start, *end)) return "Positions are too close";
  // Opposite ends of the earth give no direction from one to the other.
  if (!ComputeRotation(SemicirclesToRadians(start->latitude, start->longitude),
                       SemicirclesToRadians(end->latitude, end->longitude)))
    return "Positions are too close";
  out.start = *start;
  out.end = *end;
  return {};
}

void RotateTrackCommand(AppState& app, RotationPositions& positions) {
  if (app.IsBusyOrWrongView(kCaptionRotate, ViewMode::kTrackLog) != 0) return;
  if (app.trackLog.empty()) {
    app.ShowMessage(Caption{kCaptionRotate}, "No positions loaded");
    return;
  }
  std::vector<TrackPoint> points = app.CopySelectedTrackPoints();
  if (points.empty()) {
    app.ShowMessage(Caption{kCaptionRotate}, "No position(s) selected");
    return;
  }
  if (points.size() == 1 && app.ShowMessage(Caption{kCaptionRotate}, "Only one position selected", BoxIcon::kWarning,
                                            MessageButtons::kOkCancel, MessageAnswer::kCancel) != MessageAnswer::kOk)
    return;

  RotateTrackForm form = RotateTrackFormFor(positions);
  for (;;) {
    auto answer = app.ui().AskRotateTrack(form);
    if (!answer) return;
    form = *answer;
    RotationPositions accepted;
    if (const std::string error = CheckRotateTrackForm(form, accepted); !error.empty()) {
      app.ShowMessage(Caption{kCaptionDecode}, error);
      continue;
    }
    positions = accepted;
    break;
  }
  if (!RotateTrackPoints(points, positions.start, positions.end)) {
    app.ShowMessage(Caption{kCaptionDecode}, "Positions are too close");
    return;
  }
  const bool hasBaro = app.trackLog.hasBaroHeight;
  ClearTrackLog(app.trackLog, app.rawIgc);
  app.trackLog.points = std::move(points);
  app.trackLog.hasBaroHeight = hasBaro;
  // Moved positions are no longer what the instrument recorded: a security
  // record over them would vouch for a track nobody flew.
  DetachFromInstrument(app.trackLog);
  app.trackLog.saved = false;
  app.SetViewMode(ViewMode::kTrackLog, true);
}

void RegisterAnalysisCommands(AppState& app) {
  AppState* a = &app;
  auto positions = std::make_shared<RotationPositions>();
  app.RegisterCommand(cmd::kFlightStatistics, [a] { FlightStatisticsCommand(*a); });
  app.RegisterCommand(cmd::kRotateTrack, [a, positions] { RotateTrackCommand(*a, *positions); });
}

}  // namespace skylode
