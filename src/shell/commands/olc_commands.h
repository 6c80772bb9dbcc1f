// The online contest optimisation as the shell offers it: the "OLC
// statistics" dialog's work (the search on a thread of its own, the result
// table, the claim file) and the command line's printed results.
#pragma once

#include <array>
#include <chrono>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/contest_score_runner.h"
#include "analysis/olc_search.h"
#include "formats/olc_file.h"

namespace skylode {

class AppState;

inline constexpr char kOlcCommandCaption[] = "OLC statistics";
inline constexpr char kOlcInitCaption[] = "Initialize OLC statistics";
inline constexpr char kOlcUserCaption[] = "User information input";
inline constexpr char kOlcSaveCaption[] = "Save OLC data";

struct OlcChoice {
  const char* code;
  const char* text;
};
// The glider classes in list order; the class number is the row + 1.
extern const std::array<const char*, 5> kOlcGliderClasses;
// The regions in list order; the first, "   Unknown", has no code.
extern const std::array<OlcChoice, 38> kOlcRegions;

// What the dialog's fields hold besides the pilot: the flight number as
// typed and the long-name check box.
struct OlcForm {
  OlcPilot pilot;
  std::string flightNumber;
  bool longFileName = false;
};

// What an open "OLC statistics" dialog works on: its own copy of the
// positions and the optimisation thread. Everything runs on the UI thread
// but StatusText and ProgressText, which the thread's reports feed.
class OlcSession {
 public:
  OlcSession(AppState& app, std::vector<TrackPoint> points, bool useIgcBuffer);
  // Halts and waits for the thread to end.
  ~OlcSession();
  OlcSession(const OlcSession&) = delete;
  OlcSession& operator=(const OlcSession&) = delete;

  // False after "Could not create optimisation thread".
  bool Start();
  std::string StatusText() const;
  std::string ProgressText() const;
  bool ResultsReady() const;
  // Waits at most `timeout` for the thread to end; true when it has.
  bool WaitEnded(std::chrono::milliseconds timeout) const;
  // The result table once ready; empty before and after a halt.
  std::string ResultText() const;
  std::optional<OlcResults> Results() const;
  // The exact contest scores beside the optimisation's own results, one line
  // per rule set, once their search has ended (halted: the best found,
  // marked as not proven); empty before.
  std::string ContestText() const;

  // "&Halt" (and closing the dialog).
  void Halt();
  bool halted() const { return halted_; }

  // The fields the dialog opens with, from the settings.
  OlcForm InitialForm() const;
  // "Save &OLC only" / "&Save with IGC". Ignored before the results are
  // ready and after a halt; true when a file was written.
  bool Save(const OlcForm& form, bool withIgc);

  const std::vector<TrackPoint>& points() const { return points_; }

 private:
  AppState& app_;
  std::vector<TrackPoint> points_;
  bool useIgcBuffer_ = false;
  bool halted_ = false;
  struct Status;
  std::shared_ptr<Status> status_;
  std::unique_ptr<OlcRun> run_;
  ContestScoreRunner contest_;
};

// "&OLC statistics (use IGC buffer)" (true) and "OLC statistics (use
// selected pos.)" (false).
void OlcStatisticsCommand(AppState& app, bool useIgcBuffer);
void RegisterOlcCommands(AppState& app);

// The result table of the dialog.
std::string OlcResultText(const std::vector<TrackPoint>& points, const OlcResults& results);

// The command line's run on an IGC file: the three results, each as
// "TYPE<TAB>DISTANCE_KM<TAB>POINTS", then each scoring result's five points
// as "TYPE<TAB>POINT<TAB>hh:mm:ss<TAB>latitude<TAB>longitude" (degrees). 0
// when done, 1 when the file cannot be read or holds too few positions.
int PrintOlcResults(const std::string& path, std::ostream& report, std::ostream& errors);

// The same lines for results already found.
std::string OlcResultLines(const std::vector<TrackPoint>& points, const OlcResults& results);

}  // namespace skylode
