// The instrument families as data: one row per family says how people reach
// it (menu entries, buttons, command-line names), which dispatcher columns
// and track-log source it uses, and how its downloaded logs are to be taken
// (own IGC text, UTC times, signed files). The shell, the window and the
// command line ask the rows; none of them names a family. Which operations a
// family can do is not written here: it is what the family registers with
// the dispatcher.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "access/dispatcher.h"
#include "records/device_types.h"
#include "records/track_log.h"

namespace skylode {

// The menus a family adds entries to.
enum class FamilyMenu { kLogs, kWpts, kCtr, kMisc };

// What a command needs from the person before its transfer starts.
enum class CommandDialog {
  kNone,
  kOwnerName,  // the plain "Write GPS name" question
  kOwn,        // a dialog of the family's own, registered as a command elsewhere
};

// One menu entry (and perhaps a button) that starts a transfer.
struct FamilyCommand {
  int id = 0;         // the command number scripts and older tools know
  FamilyMenu menu = FamilyMenu::kLogs;
  int position = 0;   // order in the menu; entries of another hundred stand after a separator
  std::string_view text{};
  std::string_view shortcut{};  // Qt key-sequence form, or empty
  AccessType access = AccessType::kReadTrackLog;
  ProtocolType protocol = ProtocolType::kGarminSerial;
  uint32_t baudRate = 0;  // 0: the protocol's own speed
  int32_t parameter = 0;  // waypoint upload mode, or the family's settings mode
  CommandDialog dialog = CommandDialog::kNone;
  bool alwaysDisabled = false;
  // The download brings every chosen flight at once; they go into one file
  // for the online flight log instead of the track log.
  bool manyFlights = false;
  std::string_view button{};  // text of a button under the list, or empty
  int buttonPosition = 0;   // order among the buttons
};

// What a check mark of the family changes in its transfers.
enum class ToggleEffect {
  kPowerOffAfterTransfer,
  kCompetitionCheckWaypoints,  // read the waypoints after a competition download
};

// A check mark in a menu; it starts the same way in every run.
struct FamilyToggle {
  int id = 0;
  FamilyMenu menu = FamilyMenu::kMisc;
  int position = 0;
  std::string_view text{};
  bool initial = false;
  ToggleEffect effect = ToggleEffect::kPowerOffAfterTransfer;
  // The protocols the mark applies to.
  std::span<const ProtocolType> protocols{};
};

// One GPS= name of the command line. Every operation of a run goes to the
// one column; whether the family can do it is what it registered there.
struct CommandLineName {
  std::string_view name{};  // upper case, as scripts write it after GPS=
  ProtocolType protocol = ProtocolType::kGarminSerial;
  uint32_t trackLogBaudRate = 0;         // 0: the protocol's own speed
  std::optional<ProtocolType> usb{};       // the column with /USB; nothing: no USB
  bool igcLog = true;                    // IGC_LOG may save its download
  // The instrument shows names only: WR_WPT copies the ID into every empty
  // name, WR_WPT2 makes every name "ID name" (cut to the name's length).
  bool uploadNamesCarryIds = false;
};

// How a downloaded track log of the family is taken.
enum class SignedFiles {
  kNever,
  kAlways,
  kWhenInstrumentSigned,  // the worker's positive result code says so
};

struct TrackLogRules {
  TrackLogSource source = TrackLogSource::kFile;
  bool ownIgcText = false;  // the instrument's own IGC text comes with the points
  bool extraData = false;   // per-flight data beside the points
  bool utcTimes = false;    // time stamps are real UTC times
  SignedFiles signedFiles = SignedFiles::kNever;
};

// How long the families wait for their instruments. Tests and benchmarks
// against virtual instruments shorten every wait by the same factor.
struct WorkerTuning {
  double waitScale = 1.0;
};

// One wait shortened by a WorkerTuning's factor, to the nearest millisecond.
inline std::chrono::milliseconds ScaledWait(std::chrono::milliseconds wait, double scale) {
  return std::chrono::milliseconds(static_cast<int64_t>(static_cast<double>(wait.count()) * scale + 0.5));
}

struct InstrumentFamily {
  std::string_view displayName{};  // for people: "Flytec / Brauniger"
  std::string_view simName{};      // the virtual instrument: "sim:<simName>"
  std::span<const ProtocolType> protocols{};  // the dispatcher columns it owns
  std::span<const uint32_t> lineSpeeds{};     // speeds it speaks, the first its default
  std::span<const TrackLogRules> trackLogs{};  // one per source it delivers logs as
  bool trackListOffersAll = false;          // its track list may offer "all flights"
  std::span<const CommandLineName> commandLineNames{};
  std::span<const FamilyCommand> commands{};
  std::span<const FamilyToggle> toggles{};
  // Puts the family's workers into the table; null while it has none.
  void (*registerWorkers)(DeviceAccessTable& table, const WorkerTuning& tuning) = nullptr;
};

// Every family, in the order menus and help texts list them.
std::span<const InstrumentFamily* const> InstrumentFamilies();

// Each family's workers in the table.
void RegisterInstrumentFamilies(DeviceAccessTable& table, const WorkerTuning& tuning = {});

// The family that owns the column, or null.
const InstrumentFamily* FamilyOfProtocol(ProtocolType protocol);
// How logs of this source are taken, or null (logs read from files).
const TrackLogRules* TrackLogRulesOf(TrackLogSource source);
// The GPS= name, compared without regard to case, or null. An empty name is
// the first one of the table, the instrument a run without GPS= talks to.
const CommandLineName* FindCommandLineName(std::string_view name);
// The transfer command with this number, or null.
const FamilyCommand* FindFamilyCommand(int id);
const FamilyToggle* FindFamilyToggle(int id);

// What the families can do with their workers registered as the program
// registers them: the check of command-line runs before any port is opened.
const DeviceAccessTable& FamilyCapabilities();

}  // namespace skylode
