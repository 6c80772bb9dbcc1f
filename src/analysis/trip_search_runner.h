// The trip distance search on a thread of its own, as the statistics window
// runs it: start, halt, ask whether it finished, take the results.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "analysis/trip_search.h"

namespace skylode {

class TripSearchRunner {
 public:
  struct Outcome {
    int status = 0;  // 0 completed (also after a halt), -1 out of memory
    bool halted = false;
    TripDistances distances;
  };

  TripSearchRunner() = default;
  TripSearchRunner(const TripSearchRunner&) = delete;
  TripSearchRunner& operator=(const TripSearchRunner&) = delete;
  // Halts and waits for the search: its steps all check the halt flag.
  ~TripSearchRunner();

  // Starts a search on its own copy of the points. A search still running is
  // halted and waited for first, so no two runs ever share anything. The
  // status callback is called on the search thread.
  void Start(std::vector<TrackPoint> points, TripSearchOptions options,
             TripStatusCallback status = {});

  void Halt();
  bool Running() const;
  bool Finished() const;
  // The result once finished; nothing before.
  std::optional<Outcome> Result() const;

  // Waits at most `timeout` for the search to finish on its own; true when it has.
  bool Wait(std::chrono::milliseconds timeout) const;

  // Halts and waits at most `timeout`; a search that has not stopped by then
  // is let go: it keeps its own copy of everything and frees it when it ends.
  // Returns true when the search had ended.
  bool Stop(std::chrono::milliseconds timeout);

 private:
  struct Run;
  std::shared_ptr<Run> run_;
  std::thread thread_;
};

}  // namespace skylode
