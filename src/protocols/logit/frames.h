// The binary frames of a LogIt download: a start frame, numbered data
// frames of up to 16 track records, and an end frame; after a resume the
// Tracklogger sends a restart frame and numbers its points from 1 again.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "records/track_log.h"

namespace skylode::logit {

inline constexpr uint8_t kFrameStart = 0x8B;
inline constexpr size_t kRecordSize = 18;
inline constexpr int kMaxRecords = 16;
// Logger time counts from 1980-01-06, ours from 1989-12-31.
inline constexpr uint32_t kLoggerEpochOffset = 315100800;

enum class FrameKind { kStart, kEnd, kRestart, kData };

// Frame errors, as "E204 Format error %" shows them.
enum FrameError : int {
  kNotTrackFrame = 2,   // third byte not 'T'
  kBadFrameType = 3,    // fourth byte not 0x01
  kBadFrameKind = 4,    // fifth byte not 'D', 'F', 'R' or 0
  kBadStartWord = 5,
  kBadEndWord = 6,
  kBadRestartWord = 7,
  kBadRecordCount = 8,  // 0 or more than 16
  kSumMismatch = 9,
  kNoLineEnd = 10,
};

// Decoder errors.
enum DecodeError : int {
  kNoStartFrame = 50,
  kNoRestartFrame = 51,
  kBadPointNumber = 52,
  kDataOutOfSequence = 53,
  kEndOutOfSequence = 54,
  kStartWhileRunning = 55,
  kPositionPastPole = 56,  // a latitude beyond 90 degrees: the record is damaged
};

// Assembles one frame a byte at a time. Bytes before a frame's start byte
// are skipped.
class FrameParser {
 public:
  // 0: not complete; 1: a frame is complete (kind(), sequence(), records);
  // negative: -FrameError, and the parser waits for the next start byte.
  int Add(uint8_t byte);
  void Reset() { *this = FrameParser(); }

  FrameKind kind() const { return kind_; }
  uint8_t sequence() const { return sequence_; }
  int recordCount() const { return count_; }
  const uint8_t* record(int i) const { return records_.data() + static_cast<size_t>(i) * kRecordSize; }

 private:
  enum class State { kIdle, kSequence, kTrack, kType, kKind, kWord, kCount, kRecords, kSumHigh, kSumLow, kCr, kLf };
  int Fail(int error);

  State state_ = State::kIdle;
  FrameKind kind_ = FrameKind::kStart;
  uint8_t sequence_ = 0;
  const char* word_ = "";  // the rest of "DEBUT", "FIN" or "RESTART" still expected
  int count_ = 0;
  std::array<uint8_t, kMaxRecords * kRecordSize> records_{};
  size_t length_ = 0;
  uint16_t sum_ = 0;
  uint16_t sent_ = 0;
};

// One record as a track point: its own segment flag, not yet the first
// point's.
TrackPoint DecodeRecord(const uint8_t* record);

// Checks the order of the frames and stores their records.
class FrameDecoder {
 public:
  enum class State { kWaitingForStart = 0, kRunning = 1, kWaitingForRestart = 3 };
  // 0: go on; 1: the end frame came; negative: -FrameError or -DecodeError.
  // Records of a data frame are appended to `points` one by one until one
  // is out of order; the first point of the download starts a segment.
  int Decode(const FrameParser& frame, std::vector<TrackPoint>& points);
  // After a resume request: the next frame must be a restart frame.
  void ExpectRestart() { state_ = State::kWaitingForRestart; }
  State state() const { return state_; }

 private:
  State state_ = State::kWaitingForStart;
  uint8_t sequence_ = 0;
  uint16_t counter_ = 0;  // points of this run (since the start or restart frame)
};

}  // namespace skylode::logit
