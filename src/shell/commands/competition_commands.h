// Competition mode in the shell: the pilot list (read, shown, saved), the
// pilot IDs the instruments' waypoints carry, and the check-in save after a
// download.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "competition/check_in.h"
#include "records/error.h"
#include "records/pilot_list.h"

namespace skylode {

class AppState;

inline constexpr std::string_view kCaptionReadPilotList = "Read pilot list file";
inline constexpr std::string_view kCaptionDecodePilotList = "Decoding pilot list file";

// Connects the shell's competition hooks and registers the commands.
void RegisterCompetitionCommands(AppState& app);

// The pilot list in a file: what a box would say when it cannot be read,
// as caption and text in the error's `path` and `text`.
struct PilotListFailure {
  std::string caption;
  std::string text;
};
Result<PilotList> LoadPilotListFile(const std::string& path, PilotListFailure* failure);

// Reads the file into the program's pilot list. `ask`: asks before a list
// that is there is replaced. 0, or -1 after the message.
int ReadPilotListInto(AppState& app, const std::string& path, bool ask);

// The check-in save of the track log's positions for the current pilot,
// cut to the competition window. The command line keeps every part in a run
// nobody watches (`keepAllParts`); a person picks them otherwise.
struct CheckInSave {
  bool createNew = true;
  bool writeIgc = false;
  bool speedCheck = true;
  bool keepAllParts = false;
  std::string folder;
};
// `points`: the positions to save instead of the whole track log.
CompetitionSaveOutcome SaveCheckIn(AppState& app, const CheckInSave& how,
                                   const std::vector<TrackPoint>* points = nullptr);

void SavePilotListCommand(AppState& app);

// "YYYY-MM-DD HH:MM:SS" (blanks around allowed); nothing when it is no time.
std::optional<uint32_t> ParseCompetitionTime(std::string_view text);
// "%d-%02d-%02d  %02d:%02d:%02d", or `none` for 0.
std::string CompetitionTimeText(uint32_t time, std::string_view none);

// "Set Competition Times": asks again after a refusal. True when stored.
bool SetCompetitionTimes(AppState& app);
// Misc > Competition Mode.
void CompetitionModeCommand(AppState& app);
// "Save competition log": who flew and where the files go. 0, or -1 when
// the person cancelled (nothing is stored then).
int IdentifyPilot(AppState& app);
// After a successful waypoint upload in competition mode: the instrument
// joins the current pilot's devices (the first free of four).
void AddDeviceToPilot(AppState& app, std::string_view instrument);
// "Select pilot" before a waypoint upload with IDs (modes 2 and 3): the
// waypoints with the pilot's ID waypoints after them, the list alone when
// the person goes on without IDs, nothing when cancelled.
std::optional<WaypointList> SelectPilotForUpload(AppState& app, int32_t mode);
// An instrument that gave no ID: offers to write the pilot's IDs into it.
void OfferPilotIdUpload(AppState& app);

}  // namespace skylode
