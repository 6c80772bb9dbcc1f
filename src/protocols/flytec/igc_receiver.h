// Turns the IGC text of one downloaded flight into TrackPoints as its bytes
// arrive, and joins the flights of one download in time order.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "records/track_log.h"

namespace skylode::flytec {

// Longest line, record letter and CR included, that the instrument writes.
inline constexpr size_t kIgcLineMax = 82;

// The outcome of one received byte.
struct IgcByteResult {
  enum Kind { kOk, kBadRecordType, kFormatError, kTooLongSentence };
  Kind kind = kOk;
  int value = 0;  // the byte for kBadRecordType, the error number for kFormatError

  bool ok() const { return kind == kOk; }
  // "E205 Bad record type (%02X)", "E206 Format error %", "E207 Too long sentence".
  std::string Message() const;
};

// IgcByteResult::Message(); the line is not quoted.
std::string NumberedByteError(const IgcByteResult& error, std::string_view line);

class IgcFlightReceiver {
 public:
  using Clock = std::chrono::steady_clock;
  // Called for every new point with the number of points so far.
  using PointHook = std::function<void(const TrackPoint&, int count)>;

  IgcFlightReceiver() { Reset(); }
  void set_point_hook(PointHook hook) { pointHook_ = std::move(hook); }

  // Forgets the flight: a new download starts with no date, no points.
  void Reset();

  // One byte of the flight's text, XON and XOFF already removed.
  IgcByteResult Feed(uint8_t byte);

  // One complete line without its LF: 0 or a negative error number.
  int ParseLine(std::string_view line);

  // A line has begun and its LF has not come yet.
  bool InLine() const { return !line_.empty(); }
  size_t pendingLength() const { return line_.size(); }
  // The line a kFormatError came from, without its line end.
  const std::string& failedLine() const { return failedLine_; }
  // The text ended inside a line: the line still counts when it holds a
  // whole record (only its line end is missing); one cut inside its fields
  // is dropped. Whether it was kept; the line is gone either way.
  bool EndCutLine();

  const std::vector<TrackPoint>& points() const { return points_; }
  std::vector<TrackPoint> TakePoints() { return std::move(points_); }
  int gRecords() const { return gRecords_; }
  const std::string& manufacturer() const { return manufacturer_; }
  const std::string& loggerId() const { return loggerId_; }
  uint32_t startTime() const { return startTime_; }
  int lineCount() const { return lineCount_; }
  Clock::time_point firstPointClock() const { return firstPointClock_; }

 private:
  int ParseDate(std::string_view line);
  int ParseFix(std::string_view line);

  std::string line_;
  std::string failedLine_;
  int lineCount_ = 1;
  int gRecords_ = 0;
  int64_t dateBase_ = 0;
  int64_t dayOffset_ = 0;
  int32_t previousTimeOfDay_ = 0;
  uint32_t startTime_ = 0;
  std::string manufacturer_;
  std::string loggerId_;
  std::vector<TrackPoint> points_;
  Clock::time_point firstPointClock_{};
  PointHook pointHook_;
};

// Joins the points of another flight to those already collected: after them
// when it starts later, before them when it ends earlier. Then the two are
// one segment. Flights that overlap in time are refused (false, nothing
// changed).
bool MergeFlight(std::vector<TrackPoint>& collected, std::vector<TrackPoint>&& flight);

// Seconds still to wait for a flight of `durationSeconds`, judged by how long
// the points from `firstTime` to `lastTime` took to arrive (`elapsedMs`).
// 5999 when nothing can be judged yet or the figure would exceed it.
int32_t RemainingTimeEstimate(int64_t elapsedMs, uint32_t firstTime, uint32_t lastTime,
                              int64_t durationSeconds);

}  // namespace skylode::flytec
