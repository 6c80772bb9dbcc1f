#include "protocols/logit/frames.h"

namespace skylode::logit {

namespace {

constexpr int32_t kQuarterTurn = 1 << 30;  // 90 degrees in semicircles

uint32_t Be32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

}  // namespace

int FrameParser::Fail(int error) {
  state_ = State::kIdle;
  return -error;
}

int FrameParser::Add(uint8_t b) {
  if (state_ != State::kIdle && state_ < State::kSumHigh) sum_ = static_cast<uint16_t>(sum_ + b);
  switch (state_) {
    case State::kIdle:
      if (b != kFrameStart) return 0;
      sum_ = kFrameStart;
      length_ = 0;
      count_ = 0;
      state_ = State::kSequence;
      return 0;
    case State::kSequence:
      sequence_ = b;
      state_ = State::kTrack;
      return 0;
    case State::kTrack:
      if (b != 'T') return Fail(kNotTrackFrame);
      state_ = State::kType;
      return 0;
    case State::kType:
      if (b != 0x01) return Fail(kBadFrameType);
      state_ = State::kKind;
      return 0;
    case State::kKind:
      switch (b) {
        case 'D': kind_ = FrameKind::kStart; word_ = "EBUT"; state_ = State::kWord; return 0;
        case 'F': kind_ = FrameKind::kEnd; word_ = "IN"; state_ = State::kWord; return 0;
        case 'R': kind_ = FrameKind::kRestart; word_ = "ESTART"; state_ = State::kWord; return 0;
        case 0x00: kind_ = FrameKind::kData; state_ = State::kCount; return 0;
        default: return Fail(kBadFrameKind);
      }
    case State::kWord:
      if (b != static_cast<uint8_t>(*word_)) {
        return Fail(kind_ == FrameKind::kStart ? kBadStartWord : kind_ == FrameKind::kEnd ? kBadEndWord : kBadRestartWord);
      }
      if (*++word_ == '\0') state_ = State::kSumHigh;
      return 0;
    case State::kCount:
      if (b == 0 || b > kMaxRecords) return Fail(kBadRecordCount);
      count_ = b;
      state_ = State::kRecords;
      return 0;
    case State::kRecords:
      records_[length_++] = b;
      if (length_ == static_cast<size_t>(count_) * kRecordSize) state_ = State::kSumHigh;
      return 0;
    case State::kSumHigh:
      sent_ = static_cast<uint16_t>(b << 8);
      state_ = State::kSumLow;
      return 0;
    case State::kSumLow:
      sent_ = static_cast<uint16_t>(sent_ | b);
      if (sent_ != sum_) return Fail(kSumMismatch);
      state_ = State::kCr;
      return 0;
    case State::kCr:
      if (b != '\r') return Fail(kNoLineEnd);
      state_ = State::kLf;
      return 0;
    case State::kLf:
      if (b != '\n') return Fail(kNoLineEnd);
      state_ = State::kIdle;
      return 1;
  }
  return Fail(kNoLineEnd);
}

TrackPoint DecodeRecord(const uint8_t* r) {
  TrackPoint p;
  p.time = Be32(r + 2) - kLoggerEpochOffset;
  p.latitude = static_cast<int32_t>(Be32(r + 6));
  p.longitude = static_cast<int32_t>(Be32(r + 10));
  uint32_t height = static_cast<uint32_t>(r[14]) << 16 | static_cast<uint32_t>(r[15]) << 8 | r[16];
  if ((height & 0x800000u) != 0) height |= 0xFF000000u;
  p.gpsHeight = static_cast<int32_t>(height);
  p.baroHeight = 0;
  p.flags = (r[17] & 0x0F) == 1 ? kTrackPointStartsSegment : 0u;
  return p;
}

int FrameDecoder::Decode(const FrameParser& frame, std::vector<TrackPoint>& points) {
  switch (state_) {
    case State::kWaitingForStart:
    case State::kWaitingForRestart: {
      const bool restart = state_ == State::kWaitingForRestart;
      if (frame.kind() != (restart ? FrameKind::kRestart : FrameKind::kStart))
        return restart ? -kNoRestartFrame : -kNoStartFrame;
      sequence_ = frame.sequence();
      counter_ = 0;
      state_ = State::kRunning;
      return 0;
    }
    case State::kRunning: break;
  }
  const auto next = static_cast<uint8_t>(sequence_ + 1);
  switch (frame.kind()) {
    case FrameKind::kEnd: return frame.sequence() == next ? 1 : -kEndOutOfSequence;
    case FrameKind::kStart:
    case FrameKind::kRestart: return -kStartWhileRunning;
    case FrameKind::kData: break;
  }
  if (frame.sequence() != next) return -kDataOutOfSequence;
  sequence_ = next;
  for (int i = 0; i < frame.recordCount(); ++i) {
    const uint8_t* r = frame.record(i);
    ++counter_;
    if (counter_ != static_cast<uint16_t>(r[0] << 8 | r[1])) return -kBadPointNumber;
    TrackPoint p = DecodeRecord(r);
    // The frame's sum is weak: a damaged record can pass it, and a point off
    // the globe would break every distance and file written from the log.
    if (p.latitude > kQuarterTurn || p.latitude < -kQuarterTurn) return -kPositionPastPole;
    if (points.empty()) p.flags = kTrackPointStartsSegment;
    points.push_back(p);
  }
  return 0;
}

}  // namespace skylode::logit
