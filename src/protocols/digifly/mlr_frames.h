// The MLR's fast download: numbered binary frames, a start frame, data
// frames of track points or waypoints, and an end frame.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "records/track_log.h"
#include "records/waypoint.h"

namespace skylode::mlr {

inline constexpr size_t kTrackRecordSize = 18;
inline constexpr size_t kWaypointRecordSize = 22;
inline constexpr int kMaxTrackRecords = 27;
inline constexpr int kMaxWaypointRecords = 23;
// Instrument time counts from 1980-01-06, ours from 1989-12-31.
inline constexpr uint32_t kGpsEpochOffset = 315100800;

enum class FrameKind { kNone = 0, kStart = 1, kData = 2, kEnd = 3 };

// Frame errors, as the format error numbers show them.
enum FrameError : int {
  kBadRecordCount = 1,
  kSumMismatch = 2,
  kNoCr = 3,
  kNoLf = 4,
  kBadRecordValue = 5,  // a time before 1990 or after 2099, a latitude past a pole
};

// Assembles one frame a byte at a time. Bytes outside a frame are skipped
// until a '$'; a byte that does not fit the frame's fixed text restarts the
// search (at that byte when it is a '$').
class FrameParser {
 public:
  explicit FrameParser(bool waypoints) : waypoints_(waypoints) {}
  // 0: not complete; 1, 2, 3: start, data or end frame complete (see
  // sequence() and records()); negative: -FrameError, the parser restarts.
  int Feed(uint8_t byte);

  uint8_t sequence() const { return sequence_; }
  int recordCount() const { return count_; }
  // The record bytes of the last data frame.
  const uint8_t* record(int i) const { return body_.data() + static_cast<size_t>(i) * recordSize(); }
  size_t recordSize() const { return waypoints_ ? kWaypointRecordSize : kTrackRecordSize; }

 private:
  enum class State { kIdle, kSequence, kType, kKind, kBody, kMarker, kCount, kRecords, kSumHigh, kSumLow, kCr, kLf };
  void Restart(uint8_t byte);

  bool waypoints_;
  State state_ = State::kIdle;
  uint8_t sequence_ = 0;
  FrameKind kind_ = FrameKind::kNone;
  std::string marker_;  // the rest of "DEBUT" or "FIN" still expected
  int count_ = 0;
  std::array<uint8_t, std::max(kMaxTrackRecords * kTrackRecordSize, kMaxWaypointRecords * kWaypointRecordSize)> body_{};
  size_t bodyLength_ = 0;
  uint16_t sum_ = 0;
  uint16_t sent_ = 0;
};

// Checks the order of the frames and turns their records into points or
// waypoints. Frames before the start frame are ignored.
class FrameDecoder {
 public:
  enum class Step { kContinue, kEnd, kError };
  explicit FrameDecoder(bool waypoints) : waypoints_(waypoints) {}

  // `downloadTime` stamps the waypoints.
  Step Decode(FrameKind kind, const FrameParser& frame, uint32_t downloadTime);
  // The message of the last kError.
  const std::string& error() const { return error_; }
  bool started() const { return started_; }

  std::vector<TrackPoint>& points() { return points_; }
  std::vector<Waypoint>& waypoints() { return waypoints_list_; }
  // Records added by the last Decode.
  size_t added() const { return added_; }

 private:
  enum class Record { kOk, kOutOfSequence, kBadValue };
  Record TrackRecord(const uint8_t* r);
  Record WaypointRecord(const uint8_t* r, uint32_t downloadTime);
  Step Fail(std::string text);

  bool waypoints_;
  bool started_ = false;
  uint8_t sequence_ = 0;
  size_t added_ = 0;
  std::string error_;
  std::vector<TrackPoint> points_;
  std::vector<Waypoint> waypoints_list_;
};

// "E208 Format error %" for track logs, "E303 ..." for waypoints.
std::string FormatErrorText(bool waypoints, int error);

// Waypoint height in metres from tenths: rounded, toward zero below 0.
int32_t WaypointHeightMetres(int32_t tenths);

}  // namespace skylode::mlr
