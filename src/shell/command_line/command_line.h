// The command line of unattended runs: "/KEYWORD" and "/KEYWORD=value"
// arguments naming one operation, the instrument, the port and options.
// Scoring software drives check-in stations with it, so every message text
// and every refusal is part of what those scripts rely on.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
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
  kOlc = 16,
  kScore = 17,
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
  // The file name came alone, as a file manager's "Open with" gives it: a
  // waypoint or airspace file opens too, not only a track.
  bool fileAlone = false;
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
  bool help = false;  // -h or --help: print CommandLineHelp() and end
  bool version = false;  // --version: print the program's name and version and end
  bool ok() const { return error.empty(); }
};

// What a keyword does with a text after '='.
enum class CmdValueUse {
  kRefused,   // a flag: "/OVERWRITE=no" must not quietly mean yes
  kOptional,  // may be empty ("/ID=")
  kRequired,  // empty or absent gives the row's `missing` text
};

// One keyword of the command line. The parser and the help text both read
// this table, so a keyword cannot be known to one and not the other.
struct CmdKeyword {
  std::string_view name;
  CmdValueUse value;
  std::string_view valueName;  // what the help shows after '='
  std::string_view missing;    // the message when a required value is empty
  size_t maxLength;            // longer values are refused, never cut
  // Stores the value in the run; the message of a bad value, or empty.
  std::string (*apply)(CmdRun& run, std::string_view value);
  std::string_view help;  // one line
};

std::span<const CmdKeyword> CommandLineKeywords();
// The usage text -h and --help print: one line per keyword. The manual page
// is made from it at build time, so it is the one description of the
// command line.
std::string CommandLineHelp();

// The command line as one text (the tokenizer of a single string, quotes
// and all).
CmdParseResult ParseCommandLine(std::string_view text);
// The arguments as the system hands them over, already split. '/' starts
// every absolute path too: a lone argument is a file to open unless it has
// the shape of a keyword ('/', then letters, digits and '_' up to an
// optional '='). Positions in messages count in the arguments joined by
// blanks.
CmdParseResult ParseCommandLine(const std::vector<std::string>& arguments);

// Whether the arguments ask for a run nobody watches (WIN=0) or a
// conversion without a window, read without the rest of the line: one that
// cannot be parsed still tells whether a person should see why.
bool ArgumentsAskForNoWindow(const std::vector<std::string>& arguments);

// Every occurrence of "$date" replaced by "%d%02d%02d" of `time`. Nothing
// when the result would be longer than `maxLength`.
std::optional<std::string> ReplaceDate(std::string_view name, uint32_t time, size_t maxLength = 259);

// FILTER and FILTEREND: "YYYYMMDDhhmmss", exactly 14 digits of a valid
// date and time.
std::optional<uint32_t> ParseFilterTime(std::string_view digits);

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
