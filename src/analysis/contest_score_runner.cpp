#include "analysis/contest_score_runner.h"

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>

#include "analysis/contest_score_text.h"

namespace skylode {

struct ContestScoreRunner::Block {
  mutable std::mutex lock;
  std::atomic<bool> cancel{false};
  std::optional<ContestScores> result;
  bool failed = false;  // no thread, or no memory: nothing was scored
};

ContestScoreRunner::~ContestScoreRunner() { Cancel(); }

void ContestScoreRunner::Start(std::vector<TrackPoint> points, double timeLimitSeconds) {
  if (block_) return;
  block_ = std::make_shared<Block>();
  try {
    std::thread([block = block_, points = std::move(points), timeLimitSeconds] {
      ContestOptions options;
      options.cancel = &block->cancel;
      options.timeLimitSeconds = timeLimitSeconds;
      std::optional<ContestScores> scores;
      try {
        scores = ScoreContests(points, options);
      } catch (const std::bad_alloc&) {
      }
      std::lock_guard lock(block->lock);
      block->failed = !scores;
      block->result = std::move(scores);
    }).detach();
  } catch (const std::system_error&) {
    // A window waiting for a thread that never ran would wait for ever.
    block_->failed = true;
  }
}

void ContestScoreRunner::Cancel() {
  if (block_) block_->cancel = true;
}

std::optional<ContestScores> ContestScoreRunner::Result() const {
  if (!block_) return std::nullopt;
  std::lock_guard lock(block_->lock);
  return block_->result;
}

std::optional<std::array<std::string, 2>> ContestScoreRunner::Summaries() const {
  if (!block_) return std::nullopt;
  std::lock_guard lock(block_->lock);
  std::array<std::string, 2> out;
  for (ContestRules r : kContestRules) {
    const size_t i = static_cast<size_t>(r);
    if (block_->failed) {
      out[i] = std::string(ContestRulesName(r)) + ": not scored (out of resources)";
    } else if (block_->result) {
      out[i] = ContestSummary(r, (*block_->result)[r]);
    } else {
      return std::nullopt;
    }
  }
  return out;
}

}  // namespace skylode
