// The analysis record of one track: times, heights, speeds, climb rates and
// distances, read by the flight statistics window, the KML writer and the
// competition output.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "analysis/trip_search.h"
#include "records/track_log.h"

namespace skylode {

struct FlightStatistics {
  std::vector<TrackPoint> points;  // the record's own copy of the analysed positions
  uint32_t startTime = 0;
  uint32_t endTime = 0;
  uint32_t duration = 0;
  int64_t analysisTime = -1;  // program time, or -1 when none
  bool analysisTimeValid = false;
  bool pilotIdFlag = false;
  int32_t competitionId = -1;
  int32_t civlId = -1;
  bool utcFlag = false;       // the positions carry real UTC times
  bool pressureFlag = false;  // the positions carry barometric heights
  int32_t minHeight = 0;      // metres
  int32_t maxHeight = 0;      // metres
  double topSpeed = 0;        // km/h over 10 s
  double maxMeanSpeed = 0;    // km/h over 60 s
  double totalDistance = 0;   // metres
  double averageSpeed = 0;    // km/h
  double minClimb = 0;        // m/s over 60 s
  double maxClimb = 0;        // m/s over 60 s
  TripDistances trips;

  int32_t count() const { return static_cast<int32_t>(points.size()); }
};

struct SpeedAndClimb {
  double speed = 0;  // km/h
  double climb = 0;  // m/s
};

// Mean speed and climb over the 60 seconds that end at points[index]. A
// shorter window (segment start or first point reached) still divides by 60 s.
SpeedAndClimb MeanSpeedAndClimb60(std::span<const TrackPoint> points, size_t index);
// Speed over the 10 seconds that end at points[index], km/h.
double TopSpeed10(std::span<const TrackPoint> points, size_t index);

// The same windows for every position of a track, with each leg's
// ellipsoidal distance computed once instead of once per window it falls in.
// A window walks back from its position to the previous position with a
// different time, from there to the next earlier time, and so on; fixes that
// share a second (several fixes a second, or an echo) are passed over. So
// each position has one leg that a walk can take from it, and the walks only
// add those legs up, in the same order as the single-position functions:
// their results are the same to the last bit.
// The points must outlive the object and stay unchanged.
class TrackLegs {
 public:
  explicit TrackLegs(std::span<const TrackPoint> points);

  size_t size() const { return points_.size(); }
  // Distance from points[i - 1] to points[i], metres; i >= 1.
  double Step(size_t i) const { return step_[i]; }
  SpeedAndClimb MeanSpeedAndClimb60(size_t index) const;
  double TopSpeed10(size_t index) const;

 private:
  friend struct CachedLegs;
  std::span<const TrackPoint> points_;
  std::vector<double> step_;
  // For position i: where its run of equal times starts, whether a segment
  // starts among the positions of the run before i (a walk stops there), and
  // the distance from the position before the run to i.
  std::vector<size_t> runStart_;
  std::vector<uint8_t> stopInRun_;
  std::vector<double> walkLeg_;
};

// Fills times, heights, speeds, climbs and the total distance from
// stats.points. Leaves the flags, IDs and trip distances alone. The GPS
// heights of stats.points that were not measured are replaced first
// (FillUnmeasuredGpsHeights, with stats.pressureFlag), so what is written
// from the record afterwards (KML) shows the same heights.
void ComputeFlightStatistics(FlightStatistics& stats);

// Fills the record's identity fields the way the statistics window does when it
// opens on the loaded track log.
void SetStatisticsSource(FlightStatistics& stats, const TrackLog& log, uint32_t now);

// What the statistics window does with a fresh selection before it analyses it.
enum class StatisticsSelection {
  kReady,              // analyse as is
  kFiltered,           // "Position(s) have been removed during track speed analysis"
  kNoneSelected,       // "No position(s) selected"
  kTooFew,             // "Too few positions selected"
  kTooFewAfterFilter,  // "Too few positions left after track speed analysis"
};
inline constexpr size_t kStatisticsMinimumPoints = 10;

// Runs the speed filter when asked and trims `points` to what is kept. The
// points are left unchanged when the result is one of the refusals.
StatisticsSelection PrepareStatisticsSelection(std::vector<TrackPoint>& points, bool logFilter);
// The message text for a result, or empty for kReady.
const char* StatisticsSelectionMessage(StatisticsSelection s);

}  // namespace skylode
