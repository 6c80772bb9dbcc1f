#include "protocols/digifly/mlr_frames.h"

namespace skylode::mlr {

namespace {

// 2100-01-01 00:00:00: the calendar of the logs ends before it.
constexpr uint32_t kEndOfCalendar = 3471379200u;
constexpr int32_t kQuarterTurn = 1 << 30;  // 90 degrees in semicircles

uint32_t Be32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

int32_t Be24Signed(const uint8_t* p) {
  const uint32_t v = uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
  return static_cast<int32_t>(v << 8) >> 8;
}

// The 16 bytes from time to segment flag, shared by both record kinds.
struct Fix {
  uint32_t time;
  int32_t latitude, longitude, height;
  bool newSegment;
};

// Refuses what no instrument logs: a time outside our calendar or a
// latitude past the pole.
bool ReadFix(const uint8_t* p, Fix& fix) {
  const uint32_t raw = Be32(p);
  if (raw < kGpsEpochOffset || raw - kGpsEpochOffset >= kEndOfCalendar) return false;
  fix.time = raw - kGpsEpochOffset;
  fix.latitude = static_cast<int32_t>(Be32(p + 4));
  fix.longitude = static_cast<int32_t>(Be32(p + 8));
  if (fix.latitude > kQuarterTurn || fix.latitude < -kQuarterTurn) return false;
  fix.height = Be24Signed(p + 12);
  fix.newSegment = p[15] == 1;
  return true;
}

}  // namespace

int32_t WaypointHeightMetres(int32_t tenths) { return (tenths + 5) / 10; }

std::string FormatErrorText(bool waypoints, int error) {
  return std::string(waypoints ? "E303" : "E208") + " Format error " + std::to_string(error);
}

void FrameParser::Restart(uint8_t byte) { state_ = byte == '$' ? State::kSequence : State::kIdle; }

int FrameParser::Feed(uint8_t b) {
  switch (state_) {
    case State::kIdle:
      if (b == '$') state_ = State::kSequence;
      return 0;
    case State::kSequence:
      sequence_ = b;
      sum_ = b;
      state_ = State::kType;
      return 0;
    case State::kType:
      if (b != (waypoints_ ? 'W' : 'T')) {
        Restart(b);
        return 0;
      }
      sum_ = static_cast<uint16_t>(sum_ + b);
      state_ = State::kKind;
      return 0;
    case State::kKind:
      if (b != (waypoints_ ? 0x02 : 0x01)) {
        Restart(b);
        return 0;
      }
      sum_ = static_cast<uint16_t>(sum_ + b);
      state_ = State::kBody;
      return 0;
    case State::kBody:
      sum_ = static_cast<uint16_t>(sum_ + b);
      if (b == 'D') {
        kind_ = FrameKind::kStart;
        marker_ = "EBUT";
        state_ = State::kMarker;
      } else if (b == 'F') {
        kind_ = FrameKind::kEnd;
        marker_ = "IN";
        state_ = State::kMarker;
      } else if (b == 0x00) {
        kind_ = FrameKind::kData;
        state_ = State::kCount;
      } else {
        Restart(b);
      }
      return 0;
    case State::kMarker:
      if (b != static_cast<uint8_t>(marker_.front())) {
        Restart(b);
        return 0;
      }
      sum_ = static_cast<uint16_t>(sum_ + b);
      marker_.erase(0, 1);
      if (marker_.empty()) state_ = State::kSumHigh;
      return 0;
    case State::kCount: {
      const int most = waypoints_ ? kMaxWaypointRecords : kMaxTrackRecords;
      if (b < 1 || b > most) {
        state_ = State::kIdle;
        return -kBadRecordCount;
      }
      sum_ = static_cast<uint16_t>(sum_ + b);
      count_ = b;
      bodyLength_ = 0;
      state_ = State::kRecords;
      return 0;
    }
    case State::kRecords:
      sum_ = static_cast<uint16_t>(sum_ + b);
      body_[bodyLength_++] = b;
      if (bodyLength_ == static_cast<size_t>(count_) * recordSize()) state_ = State::kSumHigh;
      return 0;
    case State::kSumHigh:
      sent_ = static_cast<uint16_t>(b << 8);
      state_ = State::kSumLow;
      return 0;
    case State::kSumLow:
      sent_ = static_cast<uint16_t>(sent_ | b);
      if (sent_ != sum_) {
        state_ = State::kIdle;
        return -kSumMismatch;
      }
      state_ = State::kCr;
      return 0;
    case State::kCr:
      if (b != '\r') {
        state_ = State::kIdle;
        return -kNoCr;
      }
      state_ = State::kLf;
      return 0;
    case State::kLf:
      state_ = State::kIdle;
      if (b != '\n') return -kNoLf;
      return static_cast<int>(kind_);
  }
  return 0;
}

FrameDecoder::Step FrameDecoder::Fail(std::string text) {
  error_ = std::move(text);
  return Step::kError;
}

FrameDecoder::Record FrameDecoder::TrackRecord(const uint8_t* r) {
  // Point numbers are 16 bits wide: compare them as the instrument counts.
  const uint16_t number = static_cast<uint16_t>(r[0] << 8 | r[1]);
  if (number != static_cast<uint16_t>(points_.size() + 1)) return Record::kOutOfSequence;
  Fix fix;
  if (!ReadFix(r + 2, fix)) return Record::kBadValue;
  TrackPoint p;
  p.time = fix.time;
  p.latitude = fix.latitude;
  p.longitude = fix.longitude;
  p.gpsHeight = fix.height;
  if (fix.newSegment || points_.empty()) p.flags |= 1;
  points_.push_back(p);
  return Record::kOk;
}

FrameDecoder::Record FrameDecoder::WaypointRecord(const uint8_t* r, uint32_t downloadTime) {
  Fix fix;
  if (!ReadFix(r + 6, fix)) return Record::kBadValue;
  Waypoint w;
  std::string id(reinterpret_cast<const char*>(r), 6);
  while (!id.empty() && (id.back() == ' ' || id.back() == '\0')) id.pop_back();
  w.id = std::move(id);
  w.latitude = fix.latitude;
  w.longitude = fix.longitude;
  w.height = WaypointHeightMetres(fix.height);
  w.time = downloadTime;
  w.symbol = 18;
  waypoints_list_.push_back(std::move(w));
  return Record::kOk;
}

FrameDecoder::Step FrameDecoder::Decode(FrameKind kind, const FrameParser& frame, uint32_t downloadTime) {
  added_ = 0;
  const char* series = waypoints_ ? "E3" : "E2";
  const uint8_t next = static_cast<uint8_t>(sequence_ + 1);  // the byte wraps after 255 frames
  switch (kind) {
    case FrameKind::kStart:
      if (started_) return Fail(std::string(series) + "03 Bad sentence type sequence");
      started_ = true;
      sequence_ = frame.sequence();
      return Step::kContinue;
    case FrameKind::kData:
      if (!started_) return Step::kContinue;
      if (frame.sequence() != next) return Fail(std::string(series) + "04 Bad sentence sequence");
      sequence_ = next;
      for (int i = 0; i < frame.recordCount(); ++i) {
        const Record r = waypoints_ ? WaypointRecord(frame.record(i), downloadTime) : TrackRecord(frame.record(i));
        if (r == Record::kOutOfSequence) return Fail("E206 Bad track point sequence");
        // A time or position no instrument logs: the frame's sum matched,
        // so the instrument itself sent nonsense.
        if (r == Record::kBadValue) return Fail(FormatErrorText(waypoints_, kBadRecordValue));
        ++added_;
      }
      return Step::kContinue;
    case FrameKind::kEnd:
      if (!started_) return Step::kContinue;
      if (frame.sequence() != next) return Fail(std::string(series) + "05 Bad sentence sequence");
      return Step::kEnd;
    case FrameKind::kNone: break;
  }
  return Step::kContinue;
}

}  // namespace skylode::mlr
