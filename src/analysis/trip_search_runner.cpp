#include "analysis/trip_search_runner.h"

#include <condition_variable>
#include <mutex>

namespace skylode {

// Everything one search touches. The search thread holds its own reference,
// so a runner that lets it go (or starts another search) never frees what it
// still reads, and two searches never write the same result.
struct TripSearchRunner::Run {
  std::vector<TrackPoint> points;
  TripSearchOptions options;
  TripStatusCallback status;
  TripHaltFlag halt{false};

  mutable std::mutex lock;
  std::condition_variable done;
  bool finished = false;
  Outcome outcome;
};

TripSearchRunner::~TripSearchRunner() {
  Halt();
  if (thread_.joinable()) thread_.join();
}

void TripSearchRunner::Start(std::vector<TrackPoint> points, TripSearchOptions options, TripStatusCallback status) {
  Halt();
  if (thread_.joinable()) thread_.join();

  auto run = std::make_shared<Run>();
  run->points = std::move(points);
  run->options = options;
  run->status = std::move(status);
  run_ = run;
  thread_ = std::thread([run] {
    Outcome outcome;
    try {
      outcome.status = RunTripSearch(run->points, outcome.distances, run->options, run->status, run->halt);
    } catch (const std::bad_alloc&) {
      outcome.status = -1;
      outcome.distances = {};
    }
    outcome.halted = run->halt.load();
    std::lock_guard<std::mutex> guard(run->lock);
    run->outcome = std::move(outcome);
    run->finished = true;
    run->done.notify_all();
  });
}

void TripSearchRunner::Halt() {
  if (run_) run_->halt = true;
}

bool TripSearchRunner::Running() const { return run_ && !Finished(); }

bool TripSearchRunner::Finished() const {
  if (!run_) return false;
  std::lock_guard<std::mutex> guard(run_->lock);
  return run_->finished;
}

std::optional<TripSearchRunner::Outcome> TripSearchRunner::Result() const {
  if (!run_) return std::nullopt;
  std::lock_guard<std::mutex> guard(run_->lock);
  if (!run_->finished) return std::nullopt;
  return run_->outcome;
}

bool TripSearchRunner::Wait(std::chrono::milliseconds timeout) const {
  if (!run_) return true;
  std::unique_lock<std::mutex> guard(run_->lock);
  return run_->done.wait_for(guard, timeout, [this] { return run_->finished; });
}

bool TripSearchRunner::Stop(std::chrono::milliseconds timeout) {
  if (!run_) return true;
  Halt();
  const bool ended = Wait(timeout);
  if (thread_.joinable()) {
    if (ended) {
      thread_.join();
    } else {
      thread_.detach();
    }
  }
  return ended;
}

}  // namespace skylode
