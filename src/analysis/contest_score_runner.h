// The contest scores on a thread of their own, for a window that shows them
// once they are there and must never wait for them.
#pragma once

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "analysis/contest_score.h"

namespace skylode {

// How long a window lets the search prove its optimum before it shows the
// best found with its ceiling.
inline constexpr double kWindowContestSeconds = 60;

class ContestScoreRunner {
 public:
  ContestScoreRunner() = default;
  ContestScoreRunner(const ContestScoreRunner&) = delete;
  ContestScoreRunner& operator=(const ContestScoreRunner&) = delete;
  // Cancels. The search thread shares its block with us, so one that is slow
  // to notice ends on its own and writes into nothing anyone reads.
  ~ContestScoreRunner();

  // Scores its own copy of the points; proving a hard flight's optimum may
  // stop at `timeLimitSeconds`, and the result then says so. Once only.
  void Start(std::vector<TrackPoint> points, double timeLimitSeconds);
  // The best so far is kept, marked as not proven.
  void Cancel();
  bool Started() const { return block_ != nullptr; }
  // The scores once the search has ended.
  std::optional<ContestScores> Result() const;
  // One line per rule set in kContestRules order ("XContest: FAI triangle
  // ..."), once the search has ended.
  std::optional<std::array<std::string, 2>> Summaries() const;

 private:
  struct Block;
  std::shared_ptr<Block> block_;
};

}  // namespace skylode
