// The analysis commands of the Misc menu: the Flight statistics dialog with
// its trip search on a thread of its own, and Rotate Track.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/contest_score_runner.h"
#include "analysis/flight_statistics.h"
#include "analysis/statistics_text.h"
#include "analysis/track_rotation.h"
#include "analysis/trip_search_runner.h"
#include "shell/interface/ui_interface.h"

namespace skylode {

class AppState;

inline constexpr char kStatisticsCaption[] = "Initialize track statistics dialog box";
inline constexpr char kStatisticsHaltedText[] = "Computation halted";
inline constexpr size_t kLogDescriptionMax = 8000;
// How long closing the dialog waits for the search to stop before letting it go.
inline constexpr std::chrono::milliseconds kStatisticsCloseWait{200};

// Labels of the seven trip results, in the order TripTexts gives them.
inline constexpr std::array<const char*, 7> kTripLabels = {
    "Greatest dist. between any two points", "Greatest distance using 3 points",
    "Greatest distance using 4 points",      "Greatest distance using 5 points",
    "Greatest out-and-return",               "Greatest triangle",
    "Greatest FAI triangle"};

// What the open Flight statistics dialog works on: its own copy of the
// analysed positions, their figures and the trip search. The search runs on
// its own copy again, so closing the dialog never pulls anything from under
// a search that is slow to stop. Everything but StatusText runs on the UI
// thread.
class FlightStatisticsSession {
 public:
  FlightStatisticsSession(AppState& app, FlightStatistics stats, TripSearchOptions options);
  ~FlightStatisticsSession();
  FlightStatisticsSession(const FlightStatisticsSession&) = delete;
  FlightStatisticsSession& operator=(const FlightStatisticsSession&) = delete;

  const FlightStatistics& statistics() const { return stats_; }
  const StatisticsTexts& texts() const { return texts_; }

  // Starts the trip search.
  void Start();
  // The search's latest progress text; safe from any thread.
  std::string StatusText() const;
  // Takes the search's result once it is there: fills the trip distances, or
  // shows "Memory allocation error". True when the result arrived with this call.
  bool Poll();
  bool Finished() const { return finished_; }
  // Waits at most `timeout` for the search to end, then polls.
  bool WaitFinished(std::chrono::milliseconds timeout);
  // The seven results in km once finished ("%.2f"), in kTripLabels order.
  std::optional<std::array<std::string, 7>> TripTexts() const;

  // The contest scores, one line per rule set in kContestRules order, once
  // the search for them has ended (halted: the best so far, marked unproven).
  std::optional<std::array<std::string, 2>> ContestTexts() const;

  // "&Halt computation".
  void Halt();
  // "&Save": the Aerodiary file with the description (cut to 8000 characters).
  // True when a file was written.
  bool Save(std::string_view description);
  // "E&xit" or closing the window: halts, waits briefly and lets go.
  void Close();

 private:
  void SetStatus(std::string_view text);

  AppState& app_;
  FlightStatistics stats_;
  StatisticsTexts texts_;
  TripSearchOptions options_;
  TripSearchRunner runner_;
  // Shared with the search thread's status callback, which may outlive us
  // when a halted search is let go.
  struct Status {
    mutable std::mutex lock;
    std::string text;
    bool frozen = false;  // halted: later step texts would hide "Computation halted"
  };
  std::shared_ptr<Status> status_ = std::make_shared<Status>();
  bool started_ = false;
  bool finished_ = false;
  bool failed_ = false;
  bool closed_ = false;
  ContestScoreRunner contest_;
};

// Registers "Get flight statistics" and "Rotate Track". The rotation
// positions live as long as the registration: the program's life.
void RegisterAnalysisCommands(AppState& app);

void FlightStatisticsCommand(AppState& app);
// `positions` are the start and end of the rotation; a confirmed dialog
// replaces them.
void RotateTrackCommand(AppState& app, RotationPositions& positions);

// The Rotate Track dialog's check of its four fields: the message of the
// first failure (shown with caption "Decode position"), or nothing with the
// positions filled in.
std::string CheckRotateTrackForm(const RotateTrackForm& form, RotationPositions& out);
// The fields the dialog opens with.
RotateTrackForm RotateTrackFormFor(const RotationPositions& positions);

}  // namespace skylode
