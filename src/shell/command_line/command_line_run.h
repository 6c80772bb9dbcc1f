// Carrying out a parsed command line: the download and what follows it, the
// conversions that need no instrument, the notify messages, and the
// person-less program of a hidden run.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "protocols/family.h"
#include "shell/command_line/command_line.h"
#include "shell/command_line/notify.h"
#include "shell/commands/file_messages.h"
#include "shell/settings/settings.h"

namespace skylode {

class AppState;
struct TrackPoint;

class CommandLineRunner {
 public:
  // `report` receives the lines a person running the program from a script
  // wants on the terminal: files written and the flight's key figures.
  CommandLineRunner(AppState& app, CmdRun run, std::ostream& report);
  ~CommandLineRunner();

  // Hands the run to the application (before its Initialise) and opens the
  // notify channel.
  void Begin();
  // Starts the operation. 0, or -1 when it could not start (the run has
  // then failed and is over).
  int RunCommandLine();
  // The transfer ended. True when the program should end now.
  bool NextCommandLineStep(bool success);

  // The run has nothing more to do.
  bool done() const { return done_; }
  // 0 when everything the run set out to do was done, 1 otherwise.
  int exitCode() const { return failed_ ? 1 : 0; }
  const CmdRun& run() const { return run_; }
  // Called once the run is over with EXIT given (the window closes).
  std::function<void(int exitCode)> endProgram;

  void Notify(std::string_view text);
  // The notify channel's time-out and queue; tests shorten them.
  NotifyLimits notifyLimits;

 private:
  void Fail(std::string_view text, std::string_view caption);
  void Finish(bool ok);
  int StartWaypointTransfer();
  int StartUserNameTransfer();
  int StartCtrUpload();
  void SaveKml();
  void SaveIgc();
  // OZI_LOG and MPS_LOG.
  void SaveTrackFile();
  int StartCheckIn();
  void SaveCheckIn();
  void ReadLog();
  // Lets a person watching the run choose among the flights of the log.
  void SelectPartsToSave(std::vector<TrackPoint>& points);
  // Whether an existing file at `path` is to be replaced: OVERWRITE, or the
  // person's answer; a hidden run says why it was not (the run then fails).
  bool ConfirmReplace(const std::string& path, std::string_view caption);
  // One line for the terminal, control characters blanked.
  void Report(const std::string& line);
  void NotifyPosition(const TrackPoint& point);

  AppState& app_;
  CmdRun run_;
  std::ostream& report_;
  NotifySender notify_;
  bool done_ = false;
  bool failed_ = false;
  bool transferStarted_ = false;
  uint32_t lastReportedTime_ = 0;
  bool anyReported_ = false;
  // The last downloaded fix whose GPS height was measured: it stands in for
  // the height of a fix without a 3-D position.
  std::optional<TrackPoint> lastMeasured_;
  int64_t lastWaypointNotice_ = -1;
};

// The folder a download's file goes to exists and takes new files: the
// refusal's text, or nothing. A folder named with "$date" is judged after
// the download.
std::optional<std::string> CheckOutputFolder(const CmdRun& run);

// One line of key figures: date, duration, points, max height, distance.
std::string FlightSummary(const std::vector<TrackPoint>& points);

struct GoogleEarthTrackRequest {
  bool hashWanted = false;
  bool utcFlag = false;
  bool pressureFlag = false;
  bool overwrite = false;  // command-line OVERWRITE: replace an existing file
  uint32_t loopFlightGap = 800;
  std::string_view instrumentText;
};

// Analyses the points (statistics and trip search) and writes a one-folder
// track file. Nothing on success, else the caption and text of the failure
// ("Too few track positions" without points: as after a download, a short
// track is written).
std::optional<FileMessage> WriteGoogleEarthTrack(const std::string& path, std::span<const TrackPoint> points,
                                                 const GoogleEarthTrackRequest& request);

// IGC2KML: reads <name>.igc (".igc" may be given), checks its security
// record when it has one, writes <name>.kml with the settings' loop flight
// gap. Warns as a download does (a cut-off last record, time running
// backwards). The exit code.
int ConvertIgcToKml(const CmdRun& run, const SettingsStore& settings, std::ostream& report, std::ostream& errors);

// Reads <base>.dat, the old Aerodiary track file: nothing and the points,
// or the message to show.
std::optional<FileMessage> ReadDatFile(const std::string& base, std::vector<TrackPoint>& points);

// DAT2KML: reads <name>.dat (".dat" may be given) and writes <name>.kml.
// The exit code.
int ConvertDatToKml(const CmdRun& run, const SettingsStore& settings, std::ostream& report, std::ostream& errors);

// SCORE: reads the IGC file (".igc" may be left off) and prints its best
// contest scoring per rule set, one tab-separated line and one line per leg.
// 0, or 1 when the file cannot be read.
int ScoreIgcFile(const CmdRun& run, std::ostream& report, std::ostream& errors);

struct HiddenRunOptions {
  SettingsPaths settingsPaths = SettingsPaths::FromEnvironment();
  // The instruments' waits; tests shorten them.
  WorkerTuning tuning{};
  // Makes "sim:" ports available (the executable registers the virtual
  // instruments; tests bring their own).
  std::function<void()> registerVirtualInstruments;
};

// A run with no window at all: the operation, then the end, whether or not
// EXIT was given (a hidden program left running could never be used or
// closed). Messages go to `errors`, reports to `report`. The exit code.
int RunHiddenCommandLine(CmdRun run, const HiddenRunOptions& options, std::ostream& report,
                         std::ostream& errors);

}  // namespace skylode
