#include "shell/command_line/command_line_run.h"
#include "shell/command_line/waypoint_steps.h"
#include "shell/commands/ctr_commands.h"
#include "shell/commands/olc_commands.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <new>

#include "access/dispatcher.h"
#include "protocols/family.h"
#include "analysis/flight_statistics.h"
#include "analysis/measured_heights.h"
#include "analysis/contest_score_text.h"
#include "analysis/statistics_text.h"
#include "analysis/track_split.h"
#include "analysis/trip_search.h"
#include "formats/file_io.h"
#include "formats/gpx_reader.h"
#include "formats/igc_names.h"
#include "formats/igc_reader.h"
#include "formats/igc_writer.h"
#include "formats/kml_reader.h"
#include "formats/kml_writer.h"
#include "formats/text_output_buffer.h"
#include "shell/app_state.h"
#include "shell/commands/competition_commands.h"
#include "shell/commands/file_messages.h"
#include "shell/commands/track_file_commands.h"
#include "shell/commands/track_file_questions.h"
#include "shell/commands/waypoint_commands.h"
#include "shell/interface/headless_ui.h"
#include "shell/program_setup.h"
#include "records/calendar.h"
#include "records/numeric.h"
#include "shell/transfers/shell_dispatcher_host.h"
#include "shell/transfers/transfer_service.h"

namespace skylode {
namespace {

constexpr std::string_view kCaptionSaveIgc = "Save IGC log";
constexpr std::string_view kCaptionSaveKml = "Save log for Aerodiary";
constexpr std::string_view kCaptionReadLog = "Read track log file";
constexpr std::string_view kCaptionSaveTrack = "Save track log";
constexpr std::string_view kCaptionCommandLine = "Command line";

std::string Printf(const char* format, long long value) {
  char text[128];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// Degrees with six decimals, whatever the locale.
std::string Degrees(int32_t semicircles) {
  const double degrees = static_cast<double>(semicircles) * (180.0 / 2147483648.0);
  char text[32];
  const auto r = std::to_chars(text, text + sizeof text, degrees, std::chars_format::fixed, 6);
  return std::string(text, r.ptr);
}

// The downloaded log's own rules say whether the instrument's IGC text is
// the file to save.
bool CarriesInstrumentIgc(const TrackLog& log) {
  const TrackLogRules* rules = TrackLogRulesOf(log.source);
  return rules && rules->ownIgcText;
}

// Who wrote a flight and where it began: a numbered file that says the same
// holds this flight and may be replaced; any other is another flight.
struct FlightIdentity {
  std::string recorder;  // manufacturer and serial of the A record
  uint32_t firstTime = 0;
  int32_t firstLatitude = 0;
  int32_t firstLongitude = 0;
  friend bool operator==(const FlightIdentity&, const FlightIdentity&) = default;
};

std::optional<FlightIdentity> IdentityOfText(std::string_view igc) {
  const Result<IgcParse> parsed = ParseIgcText(igc);
  if (!parsed.ok()) return std::nullopt;
  const TrackPoint& first = parsed->points.front();
  return FlightIdentity{parsed->manufacturer + parsed->serial, first.time, first.latitude, first.longitude};
}

// What a built file will say: the first fix as its B record reads back.
FlightIdentity IdentityOfBuilt(const TrackPoint& first, const std::string& serial) {
  FlightIdentity id{std::string(kIgcManufacturer) + serial, first.time, first.latitude, first.longitude};
  if (const Result<IgcBRecord> b = ParseIgcBRecord(std::string_view(FormatIgcBRecord(first, false)).substr(1));
      b.ok()) {
    id.firstLatitude = b->latitude;
    id.firstLongitude = b->longitude;
  }
  return id;
}

}  // namespace

std::string FlightSummary(const std::vector<TrackPoint>& points) {
  if (points.empty()) return "No positions";
  FlightStatistics stats;
  stats.points = points;
  ComputeFlightStatistics(stats);
  const CalendarTime day = SecondsToDateTime(points.front().time);
  const uint32_t duration = points.back().time >= points.front().time ? points.back().time - points.front().time : 0;
  const int64_t tenths = ClampRound<int64_t>(stats.totalDistance / 100.0);
  char text[256];
  std::snprintf(text, sizeof text,
                "Flight %04d-%02d-%02d %02d:%02d:%02d UTC, duration %u:%02u:%02u, %zu points, max height %d m, "
                "distance %lld.%lld km",
                day.year, day.month, day.day, day.hour, day.minute, day.second, duration / 3600,
                duration / 60 % 60, duration % 60, points.size(), stats.maxHeight,
                static_cast<long long>(tenths / 10), static_cast<long long>(tenths % 10));
  return text;
}

// --- The runner ----------------------------------------------------------------------

CommandLineRunner::CommandLineRunner(AppState& app, CmdRun run, std::ostream& report)
    : app_(app), run_(std::move(run)), report_(report) {}

CommandLineRunner::~CommandLineRunner() = default;

void CommandLineRunner::Notify(std::string_view text) { notify_.Send(run_.tag(), text); }

void CommandLineRunner::NotifyPosition(const TrackPoint& point) {
  if (run_.sendLog < 0) return;
  // The calling program gets the height the statistics and the KML take: a
  // fix without a 3-D position reports the last measured one (moved with the
  // pressure height), never the 0 its receiver wrote. Fixes still to come
  // are unknown here, so a download that starts without one reports the
  // pressure height until the first measured fix.
  TrackPoint shown = point;
  if ((point.flags & kTrackPointNoGpsHeight) == 0) {
    lastMeasured_ = point;
  } else if (lastMeasured_) {
    const TrackPoint pair[] = {*lastMeasured_, point};
    shown.gpsHeight = MeasuredGpsHeight(pair, 1, true);
  } else {
    shown.gpsHeight = MeasuredGpsHeight(std::span(&point, 1), 0, true);
  }
  if (anyReported_ && point.time < lastReportedTime_ + static_cast<uint32_t>(run_.sendLog)) return;
  anyReported_ = true;
  lastReportedTime_ = point.time;
  Notify("Pos=" + Degrees(point.latitude) + "," + Degrees(point.longitude) + "," +
         std::to_string(GpsHeightMetres(shown)));
}

void CommandLineRunner::Begin() {
  notify_.onDropped = [this](std::string_view text) {
    app_.ShowMessage(Caption{kCaptionCommandLine}, text, BoxIcon::kWarning);
  };
  if (!run_.notifyName.empty()) notify_.Connect(run_.notifyName, notifyLimits);
  CommandLineRun r;
  r.hidden = run_.hidden();
  r.exitWhenDone = run_.exitWhenDone;
  r.overwrite = run_.overwrite;
  r.noSplit = run_.noSplit;
  r.powerOff = run_.powerOff;
  r.timeout = run_.timeout;
  r.transferFinished = [this](bool success) {
    if (NextCommandLineStep(success) && endProgram) endProgram(exitCode());
  };
  r.notify = [this](std::string_view text) { Notify(text); };
  r.notifyPosition = [this](const TrackPoint& p) { NotifyPosition(p); };
  r.notifyWaypointCount = [this](int32_t count) {
    const int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
    if (now == lastWaypointNotice_) return;
    lastWaypointNotice_ = now;
    Notify(Printf("Waypoint count %d", count));
  };
  r.notifyByteCount = [this](int32_t count) { Notify(Printf("Byte count %d", count)); };
  app_.BeginCommandLineRun(std::move(r));
}

void CommandLineRunner::Fail(std::string_view text, std::string_view caption) {
  app_.ShowMessage(Caption{caption}, text);
  failed_ = true;
}

void CommandLineRunner::Finish(bool ok) {
  if (done_) return;
  if (!ok) failed_ = true;
  done_ = true;
  // The last reports go out before the run lets go, within the channel's
  // time-out.
  notify_.Flush();
  // A visible run that goes on as the person's window hands over here, on
  // every path: from now on transfers are the person's own and the settings
  // are theirs to keep. EXIT and hidden runs end the program instead.
  if (!run_.exitWhenDone && !run_.hidden()) app_.EndCommandLineRun();
}

int CommandLineRunner::RunCommandLine() {
  if (!IsOperationAvailable(run_.operation)) {
    Fail(kTextNotAvailable, kCaptionCommandLine);
    Finish(false);
    return -1;
  }
  if (!run_.portName.empty() && !app_.settings().SetText(SettingId::kPortName, run_.portName)) {
    Fail("Bad port name", kCaptionCommandLine);
    Finish(false);
    return -1;
  }
  switch (run_.operation) {
    case CmdOperation::kKmlLog:
    case CmdOperation::kOziLog:
    case CmdOperation::kMpsLog:
    case CmdOperation::kIgcLog: {
      // Found out now, not after a download the instrument may not give twice.
      if (auto refused = CheckOutputFolder(run_)) {
        Fail(*refused, run_.operation == CmdOperation::kIgcLog   ? kCaptionSaveIgc
                       : run_.operation == CmdOperation::kKmlLog ? kCaptionSaveKml
                                                                 : kCaptionSaveTrack);
        Finish(false);
        return -1;
      }
      const auto target = DownloadTargetFor(run_.gpsName, run_.useUsb);
      if (!target || app_.transfers().DownloadTrackLog(target->protocol, target->baudRate) != 0) {
        Finish(false);
        return -1;
      }
      transferStarted_ = true;
      Notify("Transfer started");
      return 0;
    }
    case CmdOperation::kReadWaypoints:
    case CmdOperation::kReadGeoWaypoints:
    case CmdOperation::kWriteWaypoints:
    case CmdOperation::kWriteWaypoints2:
      return StartWaypointTransfer();
    case CmdOperation::kUserName:
      return StartUserNameTransfer();
    case CmdOperation::kCompetitionLog:
      return StartCheckIn();
    case CmdOperation::kWriteCtr:
      return StartCtrUpload();
    case CmdOperation::kReadLog:
      ReadLog();
      Finish(!failed_);
      return failed_ ? -1 : 0;
    default:
      Finish(true);
      return 0;
  }
}

bool CommandLineRunner::NextCommandLineStep(bool success) {
  if (done_) return false;
  Notify(success ? "Transfer completed" : "Transfer completed (error)");
  if (!success) {
    failed_ = true;
  } else if (run_.operation == CmdOperation::kKmlLog) {
    SaveKml();
  } else if (run_.operation == CmdOperation::kIgcLog) {
    SaveIgc();
  } else if (run_.operation == CmdOperation::kCompetitionLog) {
    SaveCheckIn();
  } else if (run_.operation == CmdOperation::kOziLog || run_.operation == CmdOperation::kMpsLog) {
    SaveTrackFile();
  } else if (run_.operation == CmdOperation::kReadWaypoints || run_.operation == CmdOperation::kReadGeoWaypoints) {
    const WaypointSaveOutcome saved = SaveDownloadedWaypoints(app_, run_);
    if (saved.failure) {
      Fail(saved.failure->text, saved.failure->caption);
    } else {
      app_.ui().SetStatusLine(saved.written);
      Notify(saved.written);
      Report("Saved " + run_.fileName + ": " + saved.written);
    }
  }
  Finish(!failed_);
  return run_.exitWhenDone || run_.hidden();
}

void CommandLineRunner::SelectPartsToSave(std::vector<TrackPoint>& points) {
  // A person watching the run picks the flights of a log that holds several.
  app_.SelectPartsToKeep(points);
}

bool CommandLineRunner::ConfirmReplace(const std::string& path, std::string_view caption) {
  if (run_.overwrite) return true;
  // Nobody to ask: say what happened and how to have it otherwise.
  if (run_.hidden()) {
    Fail(ExistsNotReplacedText(path), caption);
    return false;
  }
  if (app_.ShowMessage(Caption{kIgcFileExistsCaption}, kIgcFileExistsText, BoxIcon::kQuestion,
                       MessageButtons::kYesNo, MessageAnswer::kNo) == MessageAnswer::kYes)
    return true;
  Fail("File not written: " + path, caption);
  return false;
}

void CommandLineRunner::Report(const std::string& line) { report_ << PrintableText(line) << '\n'; }

int CommandLineRunner::StartWaypointTransfer() {
  const bool upload =
      run_.operation == CmdOperation::kWriteWaypoints || run_.operation == CmdOperation::kWriteWaypoints2;
  if (upload) {
    if (const auto failure = PrepareWaypointUpload(app_, run_)) {
      Fail(failure->text, failure->caption);
      Finish(false);
      return -1;
    }
  }
  const auto target = DownloadTargetFor(run_.gpsName, run_.useUsb);
  const int started = !target ? -1
                      : upload ? app_.transfers().UploadWaypoints(target->protocol, 0)
                               : app_.transfers().DownloadWaypoints(target->protocol);
  if (started != 0) {
    Finish(false);
    return -1;
  }
  transferStarted_ = true;
  Notify("Transfer started");
  return 0;
}

int CommandLineRunner::StartUserNameTransfer() {
  // The family's own form says which field takes the name and which the IDs.
  const CommandLineName* gps = FindCommandLineName(run_.gpsName);
  const FamilyCommand* command = gps ? FindFamilyCommand(gps->userNameCommand) : nullptr;
  if (!command || !command->form) {
    Fail(kTextNotAvailable, kCaptionCommandLine);
    Finish(false);
    return -1;
  }
  const FamilyForm& form = *command->form;
  std::vector<std::string> values;
  for (const FormField& field : form.fields) {
    switch (field.fill) {
      case FormFill::kPilotName: values.push_back(run_.pilotName); break;
      case FormFill::kCompetitionId: values.push_back(run_.compId >= 0 ? std::to_string(run_.compId) : ""); break;
      case FormFill::kCivlId: values.push_back(run_.civlId >= 0 ? std::to_string(run_.civlId) : ""); break;
      case FormFill::kNone: values.emplace_back(); break;
    }
  }
  // Nobody to ask: what the instrument cannot take becomes blanks.
  values = CleanFormValues(form, std::move(values));
  if (app_.transfers().WriteInstrumentSettings(gps->protocol, command->parameter, FormAnswers{std::move(values)},
                                               form.caption) != 0) {
    Finish(false);
    return -1;
  }
  transferStarted_ = true;
  Notify("Transfer started");
  return 0;
}

int CommandLineRunner::StartCtrUpload() {
  const auto target = DownloadTargetFor(run_.gpsName, run_.useUsb);
  if (!target || LoadCtrFileForUpload(app_, run_.fileName, !run_.exitWhenDone) != 0 ||
      app_.transfers().UploadCtr(target->protocol) != 0) {
    failed_ = true;
    Finish(false);
    return -1;
  }
  transferStarted_ = true;
  Notify("Transfer started");
  return 0;
}

void CommandLineRunner::SaveKml() {
  std::vector<TrackPoint> points = app_.trackLog.points;
  SelectPartsToSave(points);
  if (points.empty()) return Fail("No positions", kCaptionSaveKml);
  const auto path = ReplaceDate(run_.fileName, points.front().time);
  if (!path) return Fail("Too long file name", kCaptionSaveKml);

  FlightStatistics stats;
  stats.points = points;
  SetStatisticsSource(stats, app_.trackLog, CurrentTime());
  ComputeFlightStatistics(stats);
  TripSearchOptions options;
  options.loopFlightGap = static_cast<uint32_t>(app_.settings().Number(SettingId::kLoopFlightGap));
  TripHaltFlag halt{false};
  if (RunTripSearch(stats.points, stats.trips, options, {}, halt) < 0)
    return Fail("Memory allocation error", "Analysing track");
  const CalendarTime day = SecondsToDateTime(points.front().time);
  char description[32];
  std::snprintf(description, sizeof description, "%d-%02d-%02d", day.year, day.month, day.day);
  const ContestScores contest = ScoreForSavedFile(stats.points);
  const SaveEnd saved = SaveAerodiaryFile(
      app_, *path, stats, description, {app_.trackLog.instrumentText, options.loopFlightGap, &contest}, [&] {
        return ConfirmReplace(*path, kCaptionSaveKml) ? ExistingFileChoice::kOverwrite
                                                      : ExistingFileChoice::kCancel;
      });
  if (saved == SaveEnd::kCancelled) return;  // said by ConfirmReplace
  if (saved == SaveEnd::kFailed) {
    failed_ = true;  // the message has been shown
    return;
  }
  app_.trackLog.saved = true;
  const std::string written = Printf("%d positions written", static_cast<long long>(points.size()));
  app_.ui().SetStatusLine(written);
  Notify(written);
  Report("Saved " + *path + ": " + written);
  Report(FlightSummary(points));
}

void CommandLineRunner::SaveIgc() {
  const bool raw = CarriesInstrumentIgc(app_.trackLog);
  if (raw && app_.rawIgc.empty()) return Fail("No log stored", kCaptionSaveIgc);
  if (!raw && app_.trackLog.empty()) return Fail("No positions", kCaptionSaveIgc);
  // The instrument's own text is saved whole; a built file holds the flights chosen.
  std::vector<TrackPoint> points = app_.trackLog.points;
  if (!raw) {
    SelectPartsToSave(points);
    if (points.empty()) return Fail("No positions", kCaptionSaveIgc);
  }
  const uint32_t time = raw ? app_.rawIgc.flightTime : points.front().time;

  IgcSaveParameters parameters;
  parameters.pilot = run_.pilotName;
  parameters.frSerial = "000";
  parameters.wantGRecord = true;
  size_t positionsWritten = 0;
  auto save = [&](const std::string& path, bool overwrite) -> Status {
    const WriteMode mode = overwrite ? WriteMode::kReplace : WriteMode::kCreateNew;
    if (raw) return SaveRawIgcLog(app_.rawIgc, path, mode);
    Result<IgcSaved> r = SaveIgcTrackLog(points, app_.trackLog, parameters, path, mode);
    if (!r.ok()) return std::move(r.error());
    positionsWritten = r->positionsWritten;
    return {};
  };
  auto exists = [](const Status& s) { return !s.ok() && s.error().kind == ErrorKind::kExists; };

  std::string path;
  Status result;
  if (IsFolderValue(run_.fileName)) {
    const CalendarTime day = SecondsToDateTime(time);
    const std::string serial = raw && app_.rawIgc.loggerSerial.size() == 3 ? app_.rawIgc.loggerSerial : "000";
    // A folder written the old way, "out\", is the folder "out/" here.
    std::string folder = run_.fileName;
    if (folder.back() == '\\') folder.back() = '/';
    bool placed = false;
    // With OVERWRITE only a file of this very flight is replaced (the same
    // download again); another flight of the day keeps its number.
    std::optional<FlightIdentity> ours;
    if (run_.overwrite)
      ours = raw ? IdentityOfText(app_.rawIgc.text) : IdentityOfBuilt(points.front(), parameters.frSerial);
    // Each number is claimed by creating its file exclusively, so two
    // stations writing into one folder never take the same number.
    for (int flight = kIgcFlightNumberMin; flight <= kIgcFlightNumberMax && !placed; ++flight) {
      char name[64];
      std::snprintf(name, sizeof name, raw ? "%d-%02d-%02d-xxx-%s-%02d.igc" : "%d-%02d-%02d-xkl-%s-%02d.igc",
                    day.year, day.month, day.day, serial.c_str(), flight);
      path = JoinPath(folder, name);
      if (path.size() >= kCmdFileNameMax) return Fail("Too long file name", kCaptionSaveIgc);
      result = save(path, false);
      placed = !exists(result);
      if (!placed && ours) {
        const Result<std::string> there = ReadWholeFile(path);
        if (there.ok() && IdentityOfText(*there) == ours) {
          result = save(path, true);
          placed = true;
        }
      }
    }
    if (!placed) return Fail("No free flight number available", kCaptionSaveIgc);
  } else {
    const auto named = ReplaceDate(run_.fileName, time);
    if (!named || named->size() >= kCmdFileNameMax) return Fail("Too long file name", kCaptionSaveIgc);
    path = *named;
    result = save(path, run_.overwrite);
    if (exists(result)) {
      if (!ConfirmReplace(path, kCaptionSaveIgc)) return;
      result = save(path, true);
    }
  }
  if (!result.ok()) {
    const FileMessage failure = IgcSaveFailure(result.error(), raw);
    return Fail(failure.text, failure.caption);
  }
  app_.trackLog.saved = true;
  const size_t count = raw ? points.size() : positionsWritten;
  const std::string written = IgcPositionsWrittenStatus(count);
  app_.ui().SetStatusLine(written);
  Notify(written);
  Report("Saved " + path + ": " + written);
  Report(FlightSummary(points));
}

int CommandLineRunner::StartCheckIn() {
  CompetitionState& comp = app_.competition;
  // A check-in identifies pilots by the IDs in their instruments, so the
  // instrument's waypoints are read whether or not a pilot list was given.
  comp.competitionMode = true;
  comp.compSpecial = run_.compSpecial;
  if (run_.filterStart != 0 || run_.filterStop != 0) {
    comp.compStart = run_.filterStart;
    comp.compStop = run_.filterStop;
  }
  if (!run_.compDir.empty()) comp.trackLogFolder = run_.compDir;
  if (!run_.compPilotFile.empty() && ReadPilotListInto(app_, run_.compPilotFile, false) != 0) {
    Finish(false);
    return -1;
  }
  // Found out now, not after a download the instrument may not give twice.
  const std::string& folder = comp.trackLogFolder;
  std::error_code ec;
  if (folder.empty()) {
    Fail("No competition output folder", kCaptionSaveCompetition);
  } else if (!std::filesystem::is_directory(folder, ec)) {
    Fail("Missing competition directory " + folder, kCaptionSaveCompetition);
  }
  const auto target = DownloadTargetFor(run_.gpsName, run_.useUsb);
  if (failed_ || !target || app_.transfers().DownloadTrackLog(target->protocol, target->baudRate) != 0) {
    Finish(false);
    return -1;
  }
  transferStarted_ = true;
  Notify("Transfer started");
  return 0;
}

void CommandLineRunner::SaveCheckIn() {
  UnattendedIdentification in;
  in.instrument = app_.instrumentPilotIds;
  in.commandLine = {run_.compId, run_.civlId};
  in.commandLineName = run_.pilotName;
  in.pilots = app_.pilots.empty() ? nullptr : &app_.pilots;
  app_.checkInPilot = IdentifyUnattended(in);
  if (!run_.hidden() && !app_.pilots.empty()) {
    // A person at the station confirms or corrects who flew (the dialog
    // reports the pilot); a cancel saves nothing.
    if (IdentifyPilot(app_) != 0) {
      Notify(RefusalNotifyText("Pilot identification cancelled"));
      failed_ = true;
      return;
    }
  } else {
    Notify(PilotNotifyText(app_.checkInPilot));
  }

  CheckInSave how;
  how.createNew = true;
  how.writeIgc = run_.compIgc || app_.options.addIgcToCompOut;
  how.speedCheck = !run_.noCheck;
  // Nobody is there to pick flights in a hidden run: every part is kept.
  how.keepAllParts = run_.noSplit || run_.hidden();
  how.folder = app_.competition.trackLogFolder;
  const CompetitionSaveOutcome saved = skylode::SaveCheckIn(app_, how);
  if (saved.end != CompetitionSaveEnd::kSaved) {
    failed_ = true;
    return;
  }
  if (!saved.igcPath.empty()) Report("Saved " + saved.igcPath);
  Report("Saved " + saved.kmlPath);
}

void CommandLineRunner::ReadLog() {
  const std::string& name = run_.fileName;
  const std::string_view ext = FileExtension(name);
  if (ext.empty() || ext == ".") return Fail("Missing track log file extension", kCaptionReadLog);
  std::vector<TrackPoint> points;
  std::string status;
  if (HasExtension(name, ".igc")) {
    Result<IgcParse> r = ReadIgcFile(name.substr(0, name.size() - ext.size()));
    if (!r.ok()) {
      const FileMessage failure = IgcReadFailure(r.error());
      return Fail(failure.text, failure.caption);
    }
    if (const auto warning = IgcReadWarning(r->warning)) ShowFileMessage(app_, *warning);
    points = r->points;
    app_.trackLog = MakeIgcFileTrackLog(std::move(r->points));
    app_.rawIgc.clear();
  } else if (HasExtension(name, ".kml")) {
    Result<std::string> file = ReadWholeFile(name);
    if (!file.ok()) return Fail(file.error().Describe(), kKmlTrackCaption);
    Result<KmlTrack> r = ReadKmlTrack(*file);
    if (!r.ok()) return Fail(r.error().text.empty() ? "No track read" : r.error().text, kKmlTrackCaption);
    points = r->points;
    TrackLog log;
    log.points = std::move(r->points);
    log.sourceClassFlag = r->timesUtc;
    log.hasBaroHeight = r->hasPressure;
    log.saved = true;
    app_.trackLog = std::move(log);
    app_.rawIgc.clear();
  } else if (const auto other = OtherTrackFormatOf(name)) {
    OtherTrackReadOutcome r = ReadOtherTrackFile(name, *other);
    if (!r.read) return Fail(r.failure.text, r.failure.caption);
    points = r.read->points;
    TrackLog log;
    log.points = std::move(r.read->points);
    log.hasBaroHeight = r.read->hasBaroHeight;
    log.saved = true;
    app_.trackLog = std::move(log);
    app_.rawIgc.clear();
  } else if (HasExtension(name, ".gpx")) {
    Result<std::string> file = ReadWholeFile(name);
    if (!file.ok()) return Fail(file.error().Describe(), kCaptionReadLog);
    // A person at the window picks the segment; a hidden run, which asks
    // nobody, takes the first.
    Result<std::vector<TrackPoint>> r = ReadGpxTrack(*file, run_.hidden() ? GpxTrackHooks{} : GpxSegmentQuestion(app_));
    if (r.cancelled()) return Fail("No track read", kKmlTrackCaption);
    if (!r.ok()) return Fail(r.error().text.empty() ? r.error().Describe() : r.error().text, kKmlTrackCaption);
    points = *r;
    TrackLog log;
    log.points = std::move(*r);
    log.saved = true;
    app_.trackLog = std::move(log);
    app_.rawIgc.clear();
  } else {
    return Fail("Unsupported track log file extension", kCaptionReadLog);
  }
  const std::string read = Printf("%d positions read (Signature ignored)", static_cast<long long>(points.size()));
  app_.ui().SetStatusLine(read);
  app_.SetViewMode(ViewMode::kTrackLog, true);
  Report("Read " + name + ": " + read);
  Report(FlightSummary(points));
}

// --- Conversions without a window ------------------------------------------------------

std::optional<FileMessage> WriteGoogleEarthTrack(const std::string& path, std::span<const TrackPoint> points,
                                                 const GoogleEarthTrackRequest& request) {
  constexpr char kCaption[] = "Write GoogleEarth file";
  // The same rule as a download's KML: any track with a position is written.
  if (points.empty()) return FileMessage{kCaption, "Too few track positions"};
  if (path.size() > 257) return FileMessage{kCaption, "File name too long"};
  FlightStatistics stats;
  try {
    stats.points.assign(points.begin(), points.end());
  } catch (const std::bad_alloc&) {
    return FileMessage{kCaption, "Memory allocation error"};
  }
  stats.analysisTime = -1;
  stats.pilotIdFlag = false;
  stats.analysisTimeValid = request.hashWanted;
  stats.utcFlag = request.utcFlag;
  stats.pressureFlag = request.pressureFlag;
  ComputeFlightStatistics(stats);
  TripSearchOptions options;
  options.loopFlightGap = request.loopFlightGap;
  TripHaltFlag halt{false};
  if (RunTripSearch(stats.points, stats.trips, options, {}, halt) < 0)
    return FileMessage{"Analysing track", "Memory allocation error"};

  const CalendarTime day = SecondsToDateTime(points.front().time);
  TextOutputBuffer description;
  description.Int(day.year).Append('-').Int(day.month, 2).Append('-').Int(day.day, 2);
  // The same description the window's save gives.
  const ContestScores contest = ScoreForSavedFile(stats.points);
  TextOutputBuffer folder(10000);
  if (const Status built = BuildKmlTrackFolder(folder, stats, description.text(),
                                               {request.instrumentText, request.loopFlightGap, &contest});
      !built.ok()) {
    return FileMessage{"Making GoogleEarth track folder", KmlFolderFailureText(built.error())};
  }
  const Status written = WriteFileAtomically(path, WrapKmlDocument(folder.text()),
                                             request.overwrite ? WriteMode::kReplace : WriteMode::kCreateNew);
  if (written.ok()) return std::nullopt;
  const Error& e = written.error();
  if (e.kind == ErrorKind::kExists) return FileMessage{kCaption, ExistsNotReplacedText(path)};
  // The program's message over the file and the system's reason.
  if (e.kind == ErrorKind::kCannotCreate) return FileMessage{"File creation error", FileAndReason(e)};
  return FileMessage{"File write error", FileAndReason(e)};
}

int ConvertIgcToKml(const CmdRun& run, const SettingsStore& settings, std::ostream& report, std::ostream& errors) {
  auto say = [](std::ostream& to, std::string_view caption, std::string_view text) {
    to << PrintableText(caption) << ": " << PrintableText(text) << '\n';
  };
  std::string base = run.fileName;
  if (HasExtension(base, ".igc")) base.resize(base.size() - FileExtension(base).size());
  Result<IgcParse> r = ReadIgcFile(base);
  if (!r.ok()) {
    const FileMessage failure = IgcReadFailure(r.error());
    say(errors, failure.caption, failure.text);
    return 1;
  }
  // The same warnings as after a download or an opened file: the track is
  // written all the same.
  if (const auto warning = IgcReadWarning(r->warning)) say(errors, warning->caption, warning->text);
  if (const std::string backwards = BackwardsTimeWarning(CheckTimeOrder(r->points)); !backwards.empty())
    say(errors, "Analyze track", backwards);
  // The security record says whether the file is still as we wrote it.
  // Only our own records can be checked here: an instrument signs its own
  // files with its maker's key.
  if (r->manufacturer == kIgcManufacturer) {
    if (Result<std::string> text = ReadWholeFile(base + ".igc"); text.ok()) {
      const FileMessage check = IgcVerifyMessage(VerifyIgcText(*text));
      say(report, check.caption, check.text);
    }
  } else {
    report << "Security record: written by the instrument (" << PrintableText(r->manufacturer)
           << "), not checked here\n";
  }
  GoogleEarthTrackRequest request;
  request.hashWanted = true;
  request.utcFlag = true;
  request.pressureFlag = true;
  request.overwrite = run.overwrite;
  request.loopFlightGap = static_cast<uint32_t>(settings.Number(SettingId::kLoopFlightGap));
  const std::string target = base + ".kml";
  if (const auto failure = WriteGoogleEarthTrack(target, r->points, request)) {
    say(errors, failure->caption, failure->text);
    return 1;
  }
  report << PrintableText("Saved " + target) << ": " << r->points.size() << " positions written\n"
         << FlightSummary(r->points) << '\n';
  return 0;
}

int ScoreIgcFile(const CmdRun& run, std::ostream& report, std::ostream& errors) {
  std::string base = run.fileName;
  if (HasExtension(base, ".igc")) base.resize(base.size() - FileExtension(base).size());
  Result<IgcParse> r = ReadIgcFile(base);
  if (!r.ok()) {
    const FileMessage failure = IgcReadFailure(r.error());
    errors << PrintableText(failure.caption) << ": " << PrintableText(failure.text) << '\n';
    return 1;
  }
  report << FormatContestLines(ScoreContests(r->points), r->points);
  return 0;
}

// --- The hidden program ------------------------------------------------------------------

int RunHiddenCommandLine(CmdRun run, const HiddenRunOptions& options, std::ostream& report,
                         std::ostream& errors) {
  // The settings are loaded for every run, the conversion included.
  SettingsStore settings(options.settingsPaths);
  if (run.operation == CmdOperation::kScore) return ScoreIgcFile(run, report, errors) == 0 && report.flush() ? 0 : 1;
  if (run.operation == CmdOperation::kIgcToKml || run.operation == CmdOperation::kDatToKml) {
    const int code = run.operation == CmdOperation::kIgcToKml ? ConvertIgcToKml(run, settings, report, errors)
                                                              : ConvertDatToKml(run, settings, report, errors);
    // A report that could not be written (a closed pipe) is a failed run.
    return report.flush() ? code : 1;
  }
  if (run.operation == CmdOperation::kOlc) {
    const int code = PrintOlcResults(run.fileName, report, errors);
    return report.flush() ? code : 1;
  }
  if (options.registerVirtualInstruments) options.registerVirtualInstruments();

  HeadlessUi ui(errors);
  ShellDispatcherHost host(ui);
  Dispatcher dispatcher(host);
  DispatcherTransferService transfers(dispatcher);
  AppState app(ui, settings, transfers);
  host.SetMessageSink([&app](Caption caption, std::string_view text, MessageIcon icon) {
    app.ShowMessage(caption, text, BoxIconOf(icon));
  });
  RegisterInstrumentWorkers(dispatcher, options.tuning);
  RegisterFileCommands(app);
  app.hiddenLog = [&errors](std::string_view caption, std::string_view text) {
    errors << PrintableText(caption) << ": " << PrintableText(text) << '\n';
    errors.flush();
  };

  run.showState = WindowShow::kHidden;
  CommandLineRunner runner(app, std::move(run), report);
  runner.Begin();
  app.Initialise();
  runner.RunCommandLine();
  while (!runner.done()) ui.WaitAndRunPosted(std::chrono::milliseconds(200));
  // Whatever was still posted (a last status line) goes out before the end.
  ui.RunPosted();
  app.Exit();
  // A report that could not be written (a closed pipe) is a failed run; the
  // files were saved before it was written.
  if (!report.flush()) return 1;
  return runner.exitCode();
}

}  // namespace skylode
