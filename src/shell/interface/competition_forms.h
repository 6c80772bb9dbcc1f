// What the competition dialogs show and give back. The dialogs only collect
// what is typed; the shell checks it and reopens a dialog after a refusal.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "competition/check_in.h"

namespace skylode {

// "Competition Mode": the check box, and two buttons that act at once.
struct CompetitionModeRequest {
  bool enabled = false;
  std::string pilotsText;  // "%d pilots", or empty
  std::string startText;   // "%d-%02d-%02d  %02d:%02d:%02d" or "No start time"
  std::string stopText;
  // "Read pilot list": the new pilots text.
  std::function<std::string()> readPilotList;
  // "Set comp. time": the new start and stop texts.
  std::function<std::pair<std::string, std::string>()> setTimes;
};

// "Set Competition Times": "YYYY-MM-DD HH:MM:SS" or blank.
struct CompetitionTimesForm {
  std::string start;
  std::string stop;
};

// "Save competition log": who flew, and where the files go.
struct IdentifyPilotForm {
  PilotFields pilot;
  std::string folder;
  bool dashId = false;  // "Select pilot": also the "-NNN" waypoint
};

struct IdentifyPilotRequest {
  std::string title;
  // "Select pilot" before a waypoint upload: the IDs and the "-NNN" box,
  // no name or folder.
  bool selectForUpload = false;
  IdentifyPilotForm initial;
  std::string pilotListFile;
  std::vector<std::string> pilotRows;  // empty: the drop-down is disabled
  // "Browse..." of the pilot list: the new rows and file, nothing when
  // nothing was read.
  std::function<std::optional<std::pair<std::vector<std::string>, std::string>>()> browsePilotList;
  // "Browse..." of the folder: the chosen folder.
  std::function<std::optional<std::string>(const std::string& current)> browseFolder;
  // A pilot chosen in the drop-down: the fields it fills.
  std::function<PilotFields(int row)> pilotChosen;
  // An ID field edited: the fields to show now, or nothing to leave them.
  std::function<std::optional<PilotFields>(const PilotFields& now, bool compEdited)> idEdited;
};

}  // namespace skylode
