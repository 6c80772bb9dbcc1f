#include "competition/check_in.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "analysis/flight_statistics.h"
#include "analysis/speed_filter.h"
#include "analysis/trip_search.h"
#include "formats/file_io.h"
#include "formats/igc_writer.h"
#include "formats/kml_writer.h"
#include "formats/pilot_list_file.h"
#include "formats/text_output_buffer.h"
#include "formats/xml_text.h"
#include "records/calendar.h"

namespace skylode {
namespace {

constexpr size_t kMinimumPositions = 10;
// A second pilot in the same second takes the next one; a station cannot
// save sixty pilots in one second.
constexpr uint32_t kSaveTimeTries = 60;

bool IsAsciiAlnum(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }

bool BadTimeStamp(uint32_t t) { return t == 0 || t == 0xFFFFFFFFu || t == 0x7FFFFFFFu; }

double Clip(double v) { return std::clamp(v, -9999.0, 9999.0); }

std::string IdText(int32_t id, const char* unknown) { return id >= 0 ? std::to_string(id) : std::string(unknown); }

// "File \"<path>\" <what>", the reports the scoring programs wait for.
std::string FileReport(const std::string& path, std::string_view what) {
  return "File \"" + path + "\" " + std::string(what);
}

std::string Reason(const Error& e) {
  if (!e.osText.empty()) return e.osText;
  return e.text.empty() ? e.Describe() : e.text;
}

}  // namespace

std::string CompetitionNamePart(std::string_view pilotName) {
  if (pilotName.empty()) return "[pilot name].";
  std::string out;
  for (size_t i = 0; i < pilotName.size();) {
    uint32_t cp = 0;
    size_t n = Utf8SequenceLength(pilotName, i, cp);
    if (n == 0) n = 1;  // a byte of another encoding is one character
    out += n == 1 && IsAsciiAlnum(pilotName[i]) ? pilotName[i] : '_';
    i += n;
  }
  return out + ".";
}

std::string CompetitionBaseName(const CheckInPilot& pilot, uint32_t saveTime) {
  const CalendarTime t = SecondsToDateTime(saveTime);
  char when[64];
  std::snprintf(when, sizeof when, "%04d%02d%02d-%02d%02d%02d.", t.year, t.month, t.day, t.hour, t.minute, t.second);
  return CompetitionNamePart(pilot.name) + when + IdText(pilot.civlId, "[CIVLID]") + "." +
         IdText(pilot.compId, "[COMPID]");
}

Result<std::string> CompetitionBasePath(std::string_view folder, const CheckInPilot& pilot, uint32_t saveTime) {
  if (folder.empty()) return Error::Content("No competition output folder");
  const std::filesystem::path joined = std::filesystem::path(std::string(folder)) / CompetitionBaseName(pilot, saveTime);
  std::string path = joined.string();
  if (path.size() > kCompetitionBasePathMax) return Error::Content("Too long filename");
  return path;
}

const PilotEntry* FindListedPilot(const PilotList& list, const PilotIds& ids) {
  if (ids.compId >= 0) {
    for (const PilotEntry& p : list.items) {
      if (p.compId == ids.compId) return &p;
    }
    return nullptr;
  }
  if (ids.civlId >= 0) {
    for (const PilotEntry& p : list.items) {
      if (p.civlId == ids.civlId) return &p;
    }
  }
  return nullptr;
}

CheckInPilot IdentifyUnattended(const UnattendedIdentification& in) {
  CheckInPilot pilot;
  pilot.compId = in.commandLine.compId >= 0 ? in.commandLine.compId : in.instrument.compId;
  pilot.civlId = in.commandLine.civlId >= 0 ? in.commandLine.civlId : in.instrument.civlId;
  pilot.name = in.commandLineName;
  if (in.pilots) {
    if (const PilotEntry* p = FindListedPilot(*in.pilots, {pilot.compId, pilot.civlId})) {
      pilot.name = p->name;
      if (pilot.compId < 0) pilot.compId = p->compId;
      if (pilot.civlId < 0) pilot.civlId = p->civlId;
    }
  }
  // The rule's name field holds 60 characters; what a list or a script
  // brings in is cut there, control characters dropped.
  pilot.name = CleanPilotText(pilot.name, kCheckInPilotNameMax);
  return pilot;
}

std::string PilotChoiceText(const PilotEntry& p) {
  char ids[64] = "";
  if (p.compId >= 0 && p.civlId >= 0)
    std::snprintf(ids, sizeof ids, " (comp. %d, CIVL %d)", static_cast<int>(p.compId), static_cast<int>(p.civlId));
  else if (p.civlId >= 0)
    std::snprintf(ids, sizeof ids, " (CIVL %d)", static_cast<int>(p.civlId));
  else if (p.compId >= 0)
    std::snprintf(ids, sizeof ids, " (comp. %d)", static_cast<int>(p.compId));
  return p.name + ids;
}

PilotFields FieldsOfPilot(const PilotList& list, int row) {
  PilotFields f;
  if (row < 0 || static_cast<size_t>(row) >= list.items.size()) return f;
  const PilotEntry& p = list.items[static_cast<size_t>(row)];
  f.compId = p.compId >= 0 ? std::to_string(p.compId) : "";
  f.civlId = p.civlId >= 0 ? std::to_string(p.civlId) : "";
  f.name = p.name;
  f.row = row;
  return f;
}

std::optional<PilotFields> FieldsAfterIdEdit(const PilotList& list, const PilotFields& now, bool compEdited) {
  if (list.empty()) return std::nullopt;
  const std::string& other = compEdited ? now.civlId : now.compId;
  if (const auto n = ParsePilotId(other)) {
    bool listed = false;
    for (const PilotEntry& p : list.items) listed = listed || (compEdited ? p.civlId : p.compId) == *n;
    if (!listed) return std::nullopt;
  }
  const auto typed = ParsePilotId(compEdited ? now.compId : now.civlId);
  for (size_t i = 0; typed && i < list.items.size(); ++i) {
    const PilotEntry& p = list.items[i];
    if ((compEdited ? p.compId : p.civlId) != *typed) continue;
    PilotFields f = FieldsOfPilot(list, static_cast<int>(i));
    // The field being typed in stays as typed.
    (compEdited ? f.compId : f.civlId) = compEdited ? now.compId : now.civlId;
    return f;
  }
  PilotFields cleared = now;
  (compEdited ? cleared.civlId : cleared.compId).clear();
  cleared.name.clear();
  cleared.row = -1;
  return cleared;
}

Result<CheckInPilot> CheckPilotFields(const PilotFields& fields) {
  CheckInPilot pilot;
  if (!fields.compId.empty()) {
    const auto n = ParsePilotId(fields.compId);
    if (!n) return Error::Content("Bad comp. pilot ID");
    pilot.compId = *n;
  }
  if (!fields.civlId.empty()) {
    const auto n = ParsePilotId(fields.civlId);
    if (!n) return Error::Content("Bad CIVL pilot ID");
    pilot.civlId = *n;
  }
  pilot.name = CleanPilotText(fields.name, kCheckInPilotNameMax);
  return pilot;
}

std::string PilotNotifyText(const CheckInPilot& pilot) {
  char head[32];
  std::snprintf(head, sizeof head, "Pilot [%d] ", static_cast<int>(pilot.compId));
  std::string text = head + pilot.name;
  if (text.size() > 79) {
    size_t cut = 79;
    // Never half a UTF-8 character.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    text.resize(cut);
  }
  return text;
}

std::string FoundIdsStatus(const PilotIds& ids) {
  char text[64] = "";
  if (ids.compId >= 0 && ids.civlId >= 0)
    std::snprintf(text, sizeof text, "Comp ID = %d, CIVL ID = %d", static_cast<int>(ids.compId),
                  static_cast<int>(ids.civlId));
  else if (ids.compId >= 0)
    std::snprintf(text, sizeof text, "Comp ID = %d", static_cast<int>(ids.compId));
  else if (ids.civlId >= 0)
    std::snprintf(text, sizeof text, "CIVL ID = %d", static_cast<int>(ids.civlId));
  return text;
}

SelectedPositions SelectCompetitionPositions(std::span<const TrackPoint> points, const CompetitionWindow& window) {
  SelectedPositions out;
  out.points.reserve(points.size());
  const bool both = window.start != 0 && window.stop != 0;
  for (const TrackPoint& p : points) {
    if (BadTimeStamp(p.time)) {
      out.badTime = true;
      continue;
    }
    bool outside = false;
    if (both) {
      if (window.start < window.stop) outside = p.time < window.start || p.time > window.stop;
    } else if (window.stop != 0) {
      outside = p.time > window.stop;
    } else if (window.start != 0) {
      outside = p.time < window.start;
    }
    if (outside) {
      out.timeFiltered = true;
      continue;
    }
    out.points.push_back(p);
  }
  return out;
}

std::string NoPositionsText(const SelectedPositions& selected) {
  std::string text = "No positions found";
  if (selected.badTime) text += "\r\nSome removed due to bad timestamp";
  if (selected.timeFiltered) text += "\r\nSome removed due to time filtering";
  return text;
}

std::string RefusalNotifyText(std::string_view message) {
  std::string line = "Not saved: " + std::string(message);
  for (size_t at; (at = line.find("\r\n")) != std::string::npos;) line.replace(at, 2, "; ");
  return line;
}

CompetitionSaveOutcome SaveCompetitionLog(const CompetitionSaveRequest& request, const CompetitionSaveEvents& events) {
  CompetitionSaveOutcome outcome;
  auto say = [&](std::string_view text, bool warning = false) {
    if (events.message) events.message(text, warning);
  };
  auto notify = [&](const std::string& text) {
    if (events.notify) events.notify(text);
  };
  // A refusal the calling program hears about too, on one line.
  auto refuse = [&](std::string_view text, CompetitionSaveEnd end) {
    say(text);
    notify(RefusalNotifyText(text));
    outcome.end = end;
    return outcome;
  };

  static const TrackLog kNoLog;
  const TrackLog& log = request.log ? *request.log : kNoLog;
  std::vector<TrackPoint> points = request.points;
  if (points.size() < kMinimumPositions)
    return refuse("Too few positions for statistics analysis", CompetitionSaveEnd::kRefused);
  if (request.speedCheck) {
    const size_t kept = SpeedFilter(points);
    if (kept < points.size()) {
      if (kept < kMinimumPositions)
        return refuse("Too few positions left after track speed analysis", CompetitionSaveEnd::kRefused);
      points.resize(kept);
      say("Position(s) have been removed during track speed analysis", true);
    }
  }

  const uint32_t now = request.clock ? request.clock() : CurrentTime();
  FlightStatistics stats;
  stats.points = points;
  SetStatisticsSource(stats, log, now);
  stats.pilotIdFlag = true;
  stats.competitionId = request.pilot.compId;
  stats.civlId = request.pilot.civlId;
  ComputeFlightStatistics(stats);
  stats.topSpeed = Clip(stats.topSpeed);
  stats.maxMeanSpeed = Clip(stats.maxMeanSpeed);
  stats.averageSpeed = Clip(stats.averageSpeed);
  stats.minClimb = Clip(stats.minClimb);
  stats.maxClimb = Clip(stats.maxClimb);
  TripSearchOptions options;
  options.loopFlightGap = request.loopFlightGap;
  TripHaltFlag halt{false};
  if (RunTripSearch(stats.points, stats.trips, options, {}, halt) < 0)
    return refuse("Memory allocation error", CompetitionSaveEnd::kFailed);

  std::string igcText;
  bool gRecordWritten = false;
  if (request.writeIgc) {
    IgcWriteOptions o;
    o.header.pilot = request.pilot.name;
    if (request.pilot.compId >= 0) o.header.competitionId = std::to_string(request.pilot.compId);
    o.instrumentText = log.instrumentText;
    o.downloadTime = log.downloadTime;
    o.gRecordValid = log.gRecordValid;
    o.wantGRecord = true;
    Result<IgcText> built = BuildIgcText(points, o);
    if (!built.ok()) return refuse(Reason(built.error()), CompetitionSaveEnd::kFailed);
    igcText = std::move(built->text);
    gRecordWritten = built->gRecordWritten;
  }

  const WriteMode mode = request.createNew ? WriteMode::kCreateNew : WriteMode::kReplace;
  const bool mayMoveOn = request.createNew && !request.pilot.identified();
  for (uint32_t attempt = 0; attempt < kSaveTimeTries; ++attempt) {
    const uint32_t saveTime = now + attempt;
    const Result<std::string> base = CompetitionBasePath(request.folder, request.pilot, saveTime);
    if (!base.ok()) return refuse(base.error().text, CompetitionSaveEnd::kRefused);
    stats.analysisTime = log.gRecordValid ? static_cast<int64_t>(saveTime) : -1;
    TextOutputBuffer folder(10000);
    if (Status built = BuildKmlTrackFolder(folder, stats, kCompetitionKmlTitle, {log.instrumentText, request.loopFlightGap});
        !built.ok())
      return refuse(Reason(built.error()), CompetitionSaveEnd::kFailed);

    const std::string igcPath = *base + ".igc";
    const std::string kmlPath = *base + ".kml";
    if (request.writeIgc) {
      // A pilot nobody identified takes the next second when the KML of this
      // name is there already, so the pair keeps one name.
      std::error_code ec;
      if (mayMoveOn && std::filesystem::exists(kmlPath, ec)) continue;
      const Status written = WriteFileAtomically(igcPath, igcText, mode);
      if (!written.ok() && written.error().kind == ErrorKind::kExists) {
        if (mayMoveOn) continue;
        notify(FileReport(igcPath, "already processed"));
        outcome.end = CompetitionSaveEnd::kAlreadyProcessed;
        return outcome;
      }
      if (!written.ok()) {
        say(written.error().Describe());
        notify(FileReport(igcPath, "not written: " + Reason(written.error())));
        outcome.end = CompetitionSaveEnd::kFailed;
        return outcome;
      }
      outcome.igcPath = igcPath;
      if (events.product) events.product(igcPath);
      if (events.status) events.status(gRecordWritten ? "File saved, signature OK" : "File saved, NO signature");
      notify(FileReport(igcPath, "written"));
    }
    const Status written = WriteFileAtomically(kmlPath, WrapKmlDocument(folder.text()), mode);
    if (!written.ok() && written.error().kind == ErrorKind::kExists) {
      if (mayMoveOn && !request.writeIgc) continue;
      notify(FileReport(kmlPath, "already processed"));
      outcome.end = CompetitionSaveEnd::kAlreadyProcessed;
      return outcome;
    }
    if (!written.ok()) {
      // The IGC file already written stays: it is the pilot's flight.
      say(written.error().Describe());
      notify(FileReport(kmlPath, "not written: " + Reason(written.error())));
      outcome.end = CompetitionSaveEnd::kFailed;
      return outcome;
    }
    outcome.kmlPath = kmlPath;
    if (events.product) events.product(kmlPath);
    if (events.status) events.status(log.gRecordValid ? "File saved, signature OK" : "File saved, NO signature");
    notify(FileReport(kmlPath, "written"));
    outcome.end = CompetitionSaveEnd::kSaved;
    return outcome;
  }
  return refuse("No free file name for this second", CompetitionSaveEnd::kFailed);
}

}  // namespace skylode
