#include "protocols/flytec/igc_receiver.h"

#include <optional>

#include "access/sentence.h"
#include "records/angles.h"
#include "records/calendar.h"

namespace skylode::flytec {
namespace {

constexpr double kRadiansPerDegree = 0.01745329251994;
constexpr double kRadiansPerMinute = 0.0002908882086657;
constexpr double kRadiansPerMilliMinute = 2.908882086657e-7;

// Fixed-column numbers: blanks may lead and trail, blanks only read as 0,
// altitudes may carry a sign.
std::optional<int32_t> ReadNumber(std::string_view line, size_t first, size_t width, bool sign) {
  if (first + width > line.size()) return std::nullopt;
  const std::string_view field = line.substr(first, width);
  return sign ? ReadSignedDecimal(field) : ReadDecimal(field);
}

bool IsAlnum(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string HexByte(int v) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  return {kHex[(v >> 4) & 15], kHex[v & 15]};
}

}  // namespace

std::string IgcByteResult::Message() const {
  switch (kind) {
    case kOk:
      return {};
    case kBadRecordType:
      return "E205 Bad record type (" + HexByte(value) + ")";
    case kFormatError:
      return "E206 Format error " + std::to_string(value);
    case kTooLongSentence:
      return "E207 Too long sentence";
  }
  return {};
}

std::string NumberedByteError(const IgcByteResult& error, std::string_view) { return error.Message(); }

void IgcFlightReceiver::Reset() {
  line_.clear();
  failedLine_.clear();
  lineCount_ = 1;
  gRecords_ = 0;
  dateBase_ = 0;
  dayOffset_ = 0;
  previousTimeOfDay_ = 0;
  startTime_ = 0;
  manufacturer_.clear();
  loggerId_.clear();
  points_.clear();
  firstPointClock_ = {};
}

IgcByteResult IgcFlightReceiver::Feed(uint8_t byte) {
  if (line_.empty()) {
    if (byte == '\n') {
      ++lineCount_;
      return {};
    }
    if (byte == '\r') return {};
    if (byte < 'A' || byte > 'Z') return {IgcByteResult::kBadRecordType, byte};
    line_.push_back(static_cast<char>(byte));
    return {};
  }
  if (line_.size() >= kIgcLineMax) return {IgcByteResult::kTooLongSentence, 0};
  if (byte != '\n') {
    line_.push_back(static_cast<char>(byte));
    return {};
  }
  ++lineCount_;
  const int r = ParseLine(line_);
  if (r < 0) {
    failedLine_ = std::move(line_);
    if (!failedLine_.empty() && failedLine_.back() == '\r') failedLine_.pop_back();
    line_.clear();
    return {IgcByteResult::kFormatError, -r};
  }
  line_.clear();
  return {};
}

bool IgcFlightReceiver::EndCutLine() {
  if (line_.empty()) return false;
  // A record is judged on what it would have held: the CR of an unfinished
  // line end is not part of it.
  std::string line = std::move(line_);
  line_.clear();
  if (line.back() == '\r') line.pop_back();
  // A fix shorter than its fields, or a cut header, would read as a
  // different value than the instrument recorded.
  if (line[0] == 'B' && line.size() < 35) return false;
  if (line[0] == 'H' && line.size() < 11) return false;
  return ParseLine(line) == 0;
}

int IgcFlightReceiver::ParseLine(std::string_view line) {
  if (line.empty()) return 0;
  switch (line[0]) {
    case 'A':
      if (line.size() < 7) return -28;
      for (size_t i = 1; i < 7; ++i)
        if (!IsAlnum(line[i])) return -29;
      manufacturer_ = line.substr(1, 3);
      loggerId_ = line.substr(4, 3);
      return 0;
    case 'H':
      if (line.size() >= 11 && line.substr(0, 5) == "HFDTE") return ParseDate(line);
      return 0;
    case 'G':
      ++gRecords_;
      return 0;
    case 'B':
      return ParseFix(line);
    default:
      return 0;
  }
}

int IgcFlightReceiver::ParseDate(std::string_view line) {
  const auto year = ReadNumber(line, 9, 2, false);
  if (!year) return -1;
  const auto month = ReadNumber(line, 7, 2, false);
  if (!month) return -2;
  if (*month < 1 || *month > 12) return -3;
  const auto day = ReadNumber(line, 5, 2, false);
  if (!day) return -4;
  if (*day < 1 || *day > 31) return -5;
  CalendarTime date{};
  date.year = static_cast<uint16_t>(2000 + *year);
  date.month = static_cast<uint16_t>(*month);
  date.day = static_cast<uint16_t>(*day);
  // 31 April would otherwise silently become 1 May.
  const auto base = CalendarToTime(date);
  if (!base) return -5;
  dateBase_ = *base;
  dayOffset_ = 0;
  previousTimeOfDay_ = 0;
  return 0;
}

int IgcFlightReceiver::ParseFix(std::string_view line) {
  if (line.size() < 35) return -24;
  const auto pressure = ReadNumber(line, 25, 5, true);
  const auto gnss = ReadNumber(line, 30, 5, true);
  if (!pressure || !gnss) return -7;

  const auto lonThousandths = ReadNumber(line, 20, 3, false);
  if (!lonThousandths) return -8;
  const auto lonMinutes = ReadNumber(line, 18, 2, false);
  if (!lonMinutes) return -9;
  const auto lonDegrees = ReadNumber(line, 15, 3, false);
  if (!lonDegrees) return -10;
  if (*lonDegrees >= 180) return -11;
  if (line[23] != 'E' && line[23] != 'W') return -12;

  const auto latThousandths = ReadNumber(line, 11, 3, false);
  if (!latThousandths) return -13;
  const auto latMinutes = ReadNumber(line, 9, 2, false);
  if (!latMinutes) return -14;
  const auto latDegrees = ReadNumber(line, 7, 2, false);
  if (!latDegrees) return -15;
  if (*latDegrees >= 90) return -16;
  if (line[14] != 'N' && line[14] != 'S') return -17;

  const auto seconds = ReadNumber(line, 5, 2, false);
  if (!seconds) return -18;
  if (*seconds >= 60) return -19;
  const auto minutes = ReadNumber(line, 3, 2, false);
  if (!minutes) return -20;
  if (*minutes >= 60) return -21;
  const auto hours = ReadNumber(line, 1, 2, false);
  if (!hours) return -22;
  if (*hours >= 24) return -23;

  const int32_t timeOfDay = *hours * 3600 + *minutes * 60 + *seconds;
  TrackPoint p;
  if (points_.empty()) {
    if (dateBase_ == 0) return -25;
    dayOffset_ = 0;
    p.flags = kTrackPointStartsSegment;
  } else if (previousTimeOfDay_ - timeOfDay >= 3600) {
    dayOffset_ += kSecondsPerDay;
  }
  // Enough midnight crossings would carry the time past the 32-bit scale:
  // such a flight has no date we can give it.
  const int64_t time = dateBase_ + dayOffset_ + timeOfDay;
  if (time > UINT32_MAX) return -25;
  previousTimeOfDay_ = timeOfDay;
  p.time = static_cast<uint32_t>(time);

  double lat = *latDegrees * kRadiansPerDegree + *latMinutes * kRadiansPerMinute +
               *latThousandths * kRadiansPerMilliMinute;
  double lon = *lonDegrees * kRadiansPerDegree + *lonMinutes * kRadiansPerMinute +
               *lonThousandths * kRadiansPerMilliMinute;
  if (line[14] == 'S') lat = -lat;
  if (line[23] == 'W') lon = -lon;
  p.latitude = RadiansToLatitude(lat).value_or(0);
  p.longitude = RadiansToLongitude(lon).value_or(0);
  p.baroHeight = *pressure;
  p.gpsHeight = *gnss * 10;
  // A fix without a 3-D position carries a GNSS altitude nobody measured
  // (0 on these instruments); the point keeps it, marked, as a file's would.
  if (line[24] == 'V') p.flags |= kTrackPointNoGpsHeight;

  if (points_.empty()) {
    startTime_ = p.time;
    firstPointClock_ = Clock::now();
  }
  points_.push_back(p);
  if (pointHook_) pointHook_(p, static_cast<int>(points_.size()));
  return 0;
}

bool MergeFlight(std::vector<TrackPoint>& collected, std::vector<TrackPoint>&& flight) {
  if (flight.empty()) return true;
  if (collected.empty()) {
    collected = std::move(flight);
    return true;
  }
  // Only the segment start goes: an unmeasured height stays marked.
  if (flight.front().time > collected.back().time) {
    flight.front().flags &= ~kTrackPointStartsSegment;
    collected.insert(collected.end(), flight.begin(), flight.end());
    return true;
  }
  if (flight.back().time < collected.front().time) {
    collected.front().flags &= ~kTrackPointStartsSegment;
    flight.insert(flight.end(), collected.begin(), collected.end());
    collected = std::move(flight);
    return true;
  }
  return false;
}

int32_t RemainingTimeEstimate(int64_t elapsedMs, uint32_t firstTime, uint32_t lastTime,
                              int64_t durationSeconds) {
  constexpr int32_t kMax = 5999;  // 99m 59s
  const int64_t done = static_cast<int64_t>(lastTime) - firstTime;
  int64_t left = static_cast<int64_t>(firstTime) + durationSeconds - lastTime;
  if (left < 0) left = 0;
  if (done == 0) return kMax;
  const int64_t estimate = left * elapsedMs / 1000 / done;
  if (estimate > kMax) return kMax;
  if (estimate < 0) return 0;
  return static_cast<int32_t>(estimate);
}

}  // namespace skylode::flytec
