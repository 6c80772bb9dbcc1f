// The command line of unattended runs: "/KEYWORD" and "/KEYWORD=value"
// arguments naming one operation, the instrument, the port and options.
// Scoring software drives check-in stations with it, so every message text
// and every refusal is part of what those scripts rely on.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/device_types.h"
#include "records/raw_igc_buffer.h"
#include "records/track_log.h"

namespace skylode {

enum class CmdOperation : int {
  kNone = 0,
  kKmlLog = 1,
  kOziLog = 2,
  kIgcLog = 3,
  kMpsLog = 4,
  kReadWaypoints = 5,
  kWriteWaypoints = 6,
  kWriteWaypoints2 = 7,
  kIgcToKml = 8,
  kDatToKml = 9,
  kReadLog = 10,
  kCompetitionLog = 11,
  kWriteCtr = 13,
  kUserName = 14,
  kReadGeoWaypoints = 15,
};

enum class WindowShow : int { kHidden = 0, kMinimised = 1, kNormal = 2 };

inline constexpr std::string_view kCaptionParsing = "Parsing command line";
// Longest value each field takes; longer ones are refused, never cut.
inline constexpr size_t kCmdFileNameMax = 260;
inline constexpr size_t kCmdPilotNameMax = 80;
inline constexpr size_t kCmdIdTextMax = 20;
inline constexpr size_t kCmdNotifyNameMax = 100;  // fits a local socket path
inline constexpr size_t kCmdPortNameMax = 80;
inline constexpr int32_t kCmdTimeoutMax = 86400;

// One program run's command line, as parsed.
struct CmdRun {
  CmdOperation operation = CmdOperation::kNone;
  std::string_view gpsName;  // GPS=, as the family table writes it; empty: the first instrument
  std::string portName;  // COM= or PORT=; empty: the port setting
  bool useUsb = false;
  std::string fileName;
  bool overwrite = false;
  bool exitWhenDone = false;
  WindowShow showState = WindowShow::kNormal;
  std::string pilotName;
  std::string idText;
  std::string notifyName;
  uint32_t notifyTag = 0;  // milliseconds of the steady clock at parse time
  uint32_t sessionNumber = 0;
  bool sessionGiven = false;
  int32_t posX = 0;
  int32_t posY = 0;
  int32_t compId = -1;
  int32_t civlId = -1;
  uint32_t filterStart = 0;
  uint32_t filterStop = 0;
  std::string compDir;
  bool compIgc = false;
  bool compSpecial = false;
  std::string compPilotFile;  // COMP_FS
  bool noSplit = false;
  bool noCheck = false;
  bool powerOff = false;
  int32_t sendLog = -1;  // seconds between position reports; -1 none
  int32_t timeout = 0;

  bool hidden() const { return showState == WindowShow::kHidden; }
  // The tag the notify messages carry.
  uint32_t tag() const { return sessionGiven ? sessionNumber : notifyTag; }
};

struct CmdParseResult {
  // Set when there is a run; empty with no error for an empty command line.
  std::optional<CmdRun> run;
  std::string error;  // shown with kCaptionParsing; the program ends
  bool ok() const { return error.empty(); }
};

// The command line as one text (the tokenizer of a single string, quotes
// and all).
CmdParseResult ParseCommandLine(std::string_view text);
// The arguments as the system hands them over, already split. An argument
// is a keyword only when it is '/' and a known keyword; a lone other
// argument is a file to open. Positions in messages count in the arguments
// joined by blanks.
CmdParseResult ParseCommandLine(const std::vector<std::string>& arguments);

// Every occurrence of "$date" replaced by "%d%02d%02d" of `time`. Nothing
// when the result would be longer than `maxLength`.
std::optional<std::string> ReplaceDate(std::string_view name, uint32_t time, size_t maxLength = 259);

// The folder form of IGC_LOG: the value ends in '/' or '\'.
bool IsFolderValue(std::string_view value);

// "COM%d" for 1 to 9, "\\.\COM%d" from 10 on: the names the instruments'
// older Windows tools used, kept so that a setting carries over.
std::string ComPortName(int number);

// The dispatcher column of a run's operations and the speed of its track-log
// download, for the GPS= name; nothing for a name no family has.
struct CmdDownloadTarget {
  ProtocolType protocol{};
  uint32_t baudRate = 0;
};
std::optional<CmdDownloadTarget> DownloadTargetFor(std::string_view gpsName, bool usb);

// Whether the operation is carried out by this build; the others end with
// kTextNotAvailable.
bool IsOperationAvailable(CmdOperation operation);
inline constexpr std::string_view kTextNotAvailable = "Operation not available in this build";

}  // namespace skylode
