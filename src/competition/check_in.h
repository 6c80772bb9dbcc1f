// The check-in of one pilot at a competition: who flew (IDs, pilot list),
// which positions count (the competition window), and the output files
// under the naming rule the scoring programs read:
//   <Name>.<YYYYMMDD-hhmmss>.<CIVLID>.<COMPID>.kml (and .igc)
// Every pilot's file must land exactly once, so files are only ever created
// new in an unattended run, and every refusal is reported.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "competition/pilot_id_waypoints.h"
#include "records/error.h"
#include "records/pilot_list.h"
#include "records/track_log.h"

namespace skylode {

inline constexpr std::string_view kCaptionSaveCompetition = "Save log for competition";
inline constexpr std::string_view kCompetitionKmlTitle = "Tracklog from Skylode competition mode";
// Longest base path (without ".kml") the naming rule allows.
inline constexpr size_t kCompetitionBasePathMax = 260;
inline constexpr size_t kCheckInPilotNameMax = 60;

// The pilot being checked in; reset before every download.
struct CheckInPilot {
  std::string name;
  int32_t compId = -1;
  int32_t civlId = -1;
  bool identified() const { return !name.empty() || compId >= 0 || civlId >= 0; }
};

// The pilot part of a file name: every character other than A-Z, a-z and
// 0-9 becomes one '_' (a multi-byte UTF-8 character too), then '.';
// "[pilot name]." for no name.
std::string CompetitionNamePart(std::string_view pilotName);
// "<name part><YYYYMMDD-hhmmss>.<civl>.<comp>" with "[CIVLID]" / "[COMPID]"
// for unknown IDs.
std::string CompetitionBaseName(const CheckInPilot& pilot, uint32_t saveTime);
// The folder and the base name joined with the system's separator. An empty
// folder is refused ("No competition output folder"), so is a path longer
// than the rule allows ("Too long filename").
Result<std::string> CompetitionBasePath(std::string_view folder, const CheckInPilot& pilot, uint32_t saveTime);

// --- Who flew -----------------------------------------------------------------------

// The pilot of the list with `ids`: the competition ID decides when given,
// else the CIVL ID. Null when the list has no such pilot.
const PilotEntry* FindListedPilot(const PilotList& list, const PilotIds& ids);

// An unattended run's identification, which can ask nobody: the IDs the
// command line gave win over the instrument's, each on its own; the pilot
// list then supplies the name and the missing ID; without a listed pilot the
// command line's name stays.
struct UnattendedIdentification {
  PilotIds instrument;     // found in the instrument's waypoints
  PilotIds commandLine;    // COMPID= / CIVLID=, -1 where not given
  std::string commandLineName;  // PILOT=
  const PilotList* pilots = nullptr;
};
CheckInPilot IdentifyUnattended(const UnattendedIdentification& in);

// The identification dialog's fields as typed.
struct PilotFields {
  std::string compId;
  std::string civlId;
  std::string name;
  int row = -1;  // the pilot chosen in the list, -1 for none
};
// "%s (comp. %d, CIVL %d)", "%s (CIVL %d)", "%s (comp. %d)" or the name.
std::string PilotChoiceText(const PilotEntry& pilot);
// The fields of the list's pilot at `row`.
PilotFields FieldsOfPilot(const PilotList& list, int row);
// An ID field was edited (`compEdited`: the COMP ID field, else the CIVL ID
// field): the listed pilot with that ID fills in the other ID and the name;
// with none, they are cleared. Nothing changes while the other field holds a
// number no listed pilot has (the person is typing a pilot of their own).
std::optional<PilotFields> FieldsAfterIdEdit(const PilotList& list, const PilotFields& now, bool compEdited);
// Checks the typed fields: "Bad comp. pilot ID" / "Bad CIVL pilot ID", or
// the pilot to store (empty IDs are -1).
Result<CheckInPilot> CheckPilotFields(const PilotFields& fields);

// "Pilot [%d] <name>", at most 79 characters.
std::string PilotNotifyText(const CheckInPilot& pilot);
// "Comp ID = %d, CIVL ID = %d", "Comp ID = %d" or "CIVL ID = %d"; empty
// without IDs.
std::string FoundIdsStatus(const PilotIds& ids);

// --- Which positions count ---------------------------------------------------------

struct CompetitionWindow {
  uint32_t start = 0;  // 0: no limit
  uint32_t stop = 0;
};

struct SelectedPositions {
  std::vector<TrackPoint> points;
  bool badTime = false;       // points with time 0, 0x7FFFFFFF or 0xFFFFFFFF were dropped
  bool timeFiltered = false;  // points outside the window were dropped
};

SelectedPositions SelectCompetitionPositions(std::span<const TrackPoint> points, const CompetitionWindow& window);
// "No positions found", and why.
std::string NoPositionsText(const SelectedPositions& selected);
// A refused save as the calling program hears it: "Not saved: " and the
// message on one line.
std::string RefusalNotifyText(std::string_view message);

// --- The output --------------------------------------------------------------------------

struct CompetitionSaveRequest {
  std::vector<TrackPoint> points;  // selected and split already
  const TrackLog* log = nullptr;   // flags, instrument text, download time
  CheckInPilot pilot;
  std::string folder;
  bool writeIgc = false;
  bool speedCheck = true;
  // An unattended run never replaces a file; a person saving again does.
  bool createNew = true;
  uint32_t loopFlightGap = 800;
  // The time of saving; the clock of tests.
  std::function<uint32_t()> clock;
};

// How the save speaks. Messages go out with kCaptionSaveCompetition.
struct CompetitionSaveEvents {
  std::function<void(std::string_view text, bool warning)> message;
  std::function<void(std::string_view text)> product;
  std::function<void(std::string_view text)> status;
  std::function<void(std::string_view text)> notify;
};

enum class CompetitionSaveEnd {
  kSaved,
  kRefused,           // too few positions and the like: nothing written
  kAlreadyProcessed,  // the pilot's file was there and is left alone
  kFailed,            // a file could not be written
};

struct CompetitionSaveOutcome {
  CompetitionSaveEnd end = CompetitionSaveEnd::kRefused;
  std::string igcPath;  // what was written
  std::string kmlPath;
};

// Speed check, statistics, the IGC file (when asked for) and the KML file.
// A pilot nobody identified has no name to tell two files apart: when the
// name of the second is taken, the save time moves on by a second until a
// free name is found. An identified pilot's existing file means "already
// processed". Every end other than kSaved has been said through `events`
// (message and notify).
CompetitionSaveOutcome SaveCompetitionLog(const CompetitionSaveRequest& request, const CompetitionSaveEvents& events);

}  // namespace skylode
