// Competition mode in the shell: the pilot list (read, shown, saved), the
// pilot IDs the instruments' waypoints carry, and the check-in save after a
// download.
#pragma once

#include <string>

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
CompetitionSaveOutcome SaveCheckIn(AppState& app, const CheckInSave& how);

void SavePilotListCommand(AppState& app);

}  // namespace skylode
