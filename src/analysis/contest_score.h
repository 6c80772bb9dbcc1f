// Contest scores as the online contests compute them: the provably best
// scoring of a flight under each contest's published rules, found by branch
// and bound over groups of fixes.
//
// Distances are in units of 10 m (0.01 km): every leg is GeoDistance rounded
// to 0.01 km before it is added, as the contest servers do. Scores are in
// hundredths of a point.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

#include "records/track_log.h"

namespace skylode {

enum class ContestRules { kXContest, kFfvl };
inline constexpr std::array<ContestRules, 2> kContestRules = {ContestRules::kXContest, ContestRules::kFfvl};

enum class ContestType {
  kNone,
  kFreeFlight,          // XContest: start, up to three turnpoints, finish, x1.0
  kFreeTriangle,        // x1.2, closing within 20 %
  kFaiTriangle,         // x1.4, every side at least 28 %
  kClosedFreeTriangle,  // x1.4, closing within 5 %
  kClosedFaiTriangle,   // x1.6
  kDistance3Points,     // FFVL: as the free flight, x1.0
  kFlatTriangle,        // x1.2, closing within 3 km or 5 %
  kFfvlFaiTriangle,     // x1.4
};

std::string_view ContestRulesName(ContestRules rules);  // "XContest", "FFVL"
std::string_view ContestTypeName(ContestType type);     // "free flight", "FAI triangle", ...
bool IsTriangle(ContestType type);

// One leg between two fixes, as indices into the track that was scored.
struct ContestLeg {
  int32_t from = -1;
  int32_t to = -1;
  int64_t units = 0;  // 0.01 km
  friend bool operator==(const ContestLeg&, const ContestLeg&) = default;
};

struct ContestScore {
  ContestType type = ContestType::kNone;
  // Free distances: start, three turnpoints, finish (a turnpoint not used
  // repeats its neighbour and gives a leg of 0). Triangles: the three sides,
  // tp1-tp2, tp2-tp3, tp3-tp1.
  std::vector<ContestLeg> legs;
  ContestLeg closing;    // triangles: the closing fixes and their gap
  int64_t distance = 0;  // 0.01 km: the legs less any deducted gap
  int64_t score = 0;     // 0.01 points
  // Never below the score; equal to it when the search proved it optimal.
  int64_t bound = 0;
  bool optimal = false;
  bool found() const { return type != ContestType::kNone; }
};

struct ContestProgress {
  double seconds = 0;
  int searchesDone = 0;
  int searchesTotal = 0;
  // Per rule set, in the order of kContestRules: the best score so far and
  // the greatest any remaining choice could give.
  std::array<int64_t, 2> best{};
  std::array<int64_t, 2> bound{};
};

struct ContestOptions {
  bool cutFlight = true;           // drop what comes before take-off and after landing
  double timeLimitSeconds = 0;     // 0: until the optimum is proven
  int threads = 0;                 // 0: one per core
  const std::atomic<bool>* cancel = nullptr;
  // Called on the calling thread about ten times a second while the search runs.
  std::function<void(const ContestProgress&)> progress;
};

struct FlightCut {
  int32_t takeOff = 0;  // first fix of the flight
  int32_t landing = -1; // last fix of the flight (inclusive); -1 for no flight
};

struct ContestScores {
  FlightCut cut;
  std::array<ContestScore, 2> byRules;  // in the order of kContestRules
  bool cancelled = false;
  const ContestScore& operator[](ContestRules r) const { return byRules[static_cast<size_t>(r)]; }
};

// The flown part of a log: the longest stretch of moving fixes, where moving
// means a ground speed or a climb or sink rate that walking and standing do
// not give, and a pause shorter than a few minutes does not end a flight.
FlightCut CutFlight(std::span<const TrackPoint> points);

// GeoDistance between two fixes rounded to 0.01 km.
int64_t LegUnits(const TrackPoint& a, const TrackPoint& b);

// The score multiplied out and rounded to 0.01 points; multiplier in tenths.
inline int64_t ScoreFromUnits(int64_t units, int tenths) { return (units * tenths + 5) / 10; }

ContestScores ScoreContests(std::span<const TrackPoint> points, const ContestOptions& options = {});

}  // namespace skylode
