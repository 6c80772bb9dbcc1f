#include "protocols/flymaster/blocks.h"

#include <cmath>

#include "access/sentence.h"

namespace skylode::flymaster {
namespace {

constexpr double kSemicirclesPer60000th = 198.8410785185;

int32_t Int32At(std::basic_string_view<uint8_t> p, size_t at) {
  return static_cast<int32_t>(static_cast<uint32_t>(p[at]) | static_cast<uint32_t>(p[at + 1]) << 8 |
                              static_cast<uint32_t>(p[at + 2]) << 16 | static_cast<uint32_t>(p[at + 3]) << 24);
}

int32_t Int16At(std::basic_string_view<uint8_t> p, size_t at) {
  return static_cast<int16_t>(static_cast<uint16_t>(p[at] | p[at + 1] << 8));
}

std::string Text(std::basic_string_view<uint8_t> p, size_t at, size_t n) {
  std::string s;
  for (size_t i = at; i < at + n && i < p.size(); ++i) s.push_back(static_cast<char>(p[i]));
  return s;
}

int64_t RoundHalfAway(double v) { return static_cast<int64_t>(v < 0 ? v - 0.5 : v + 0.5); }

}  // namespace

BlockResult BlockDecoder::Feed(uint8_t b) {
  const bool isId = b >= kFlightInfoBlock && b <= kEndBlock;
  switch (state_) {
    case 0:
      if (isId) {
        id_ = b;
        mismatched_ = false;
        state_ = 1;
      }
      return BlockResult::kIncomplete;
    case 1:
      if (b == id_ && id_ == kEndBlock) {
        length_ = 0;
        return BlockResult::kComplete;
      }
      // The first byte names the block. Two different identifiers mean one
      // of them was damaged on the line: the block is read to its end and
      // asked for again, never taken for another kind (an A2 read as the
      // end would cut the flight short without a word).
      mismatched_ = b != id_;
      state_ = isId ? 2 : 0;
      return BlockResult::kIncomplete;
    case 2:
      length_ = b;
      index_ = 0;
      xor_ = b;
      // An empty block is followed by its checksum at once: nothing may be
      // stored for it.
      state_ = length_ == 0 ? 4 : 3;
      return BlockResult::kIncomplete;
    case 3:
      payload_[index_++] = b;
      xor_ ^= b;
      if (index_ >= length_) state_ = 4;
      return BlockResult::kIncomplete;
    default:
      state_ = 0;
      return b == xor_ && !mismatched_ ? BlockResult::kComplete : BlockResult::kBadChecksum;
  }
}

int32_t PressureAltitude(int32_t pressure) {
  const double atmospheres = std::fabs(pressure * 0.1 * 0.0009869232667160128);
  return static_cast<int32_t>((1.0 - std::pow(atmospheres, 0.190284)) * 44307.69 + 0.5);
}

int32_t LongitudeSemicircles(int32_t value) {
  int64_t s = -RoundHalfAway(value * kSemicirclesPer60000th);
  // +180 degrees is the same meridian as -180, which is all 32 bits hold.
  if (s >= (int64_t{1} << 31)) s -= int64_t{1} << 32;
  return static_cast<int32_t>(s);
}

std::optional<TrackPoint> ToTrackPoint(const RawPosition& p, bool first) {
  const uint64_t time = uint64_t{p.time} + kInstrumentEpoch;
  if (time > UINT32_MAX) return std::nullopt;
  TrackPoint t;
  t.flags = first ? kTrackPointStartsSegment : 0;
  t.time = static_cast<uint32_t>(time);
  t.latitude = static_cast<int32_t>(RoundHalfAway(p.latitude * kSemicirclesPer60000th));
  t.longitude = LongitudeSemicircles(p.longitude);
  t.gpsHeight = p.gpsAltitude * 10;
  t.baroHeight = PressureAltitude(p.pressure);
  return t;
}

int32_t ParseIdText(std::string_view text) {
  // The instrument pads with blanks or NULs.
  while (!text.empty() && (text.back() == '\0' || text.back() == ' ')) text.remove_suffix(1);
  size_t start = 0;
  while (start < text.size() && text[start] == ' ') ++start;
  // An empty text is no ID at all, never ID 0.
  if (start == text.size()) return -1;
  const auto value = ReadSignedDecimal(text);
  return value ? *value : -1;
}

std::optional<BlockError> FlightDecoder::AddPoint() {
  const auto point = ToTrackPoint(at_, points_.empty());
  if (!point) return BlockError{"E205 Time outside valid range"};
  points_.push_back(*point);
  if (hook_) hook_(points_.back(), points_.size());
  return std::nullopt;
}

std::optional<BlockError> FlightDecoder::Apply(uint8_t id, std::basic_string_view<uint8_t> p, bool b1Nav) {
  switch (id) {
    case kFlightInfoBlock: {
      if (p.size() < kFlightInfoMin) return BlockError{"E205 Bad flight info block length"};
      FlightInfo info;
      info.firmwareMajor = p[0];
      info.firmwareMinor = p[1];
      info.serialNumber = static_cast<uint32_t>(Int32At(p, 4));
      info.competitionId = Text(p, 8, 7);
      if (b1Nav) info.civlId = Text(p, 46, 7);
      info_ = std::move(info);
      return std::nullopt;
    }
    case kKeyPositionBlock: {
      if (p.size() < kKeyPositionMin) return BlockError{"E205 Bad key track position block length"};
      RawPosition next;
      next.latitude = Int32At(p, 1);
      next.longitude = Int32At(p, 5);
      next.gpsAltitude = Int16At(p, 9);
      next.pressure = Int16At(p, 11);
      next.time = static_cast<uint32_t>(Int32At(p, 13));
      if (next.latitude > kLatitudeLimit || next.latitude < -kLatitudeLimit)
        return BlockError{"E205 Latitude outside valid range"};
      if (next.longitude > kLongitudeLimit || next.longitude < -kLongitudeLimit)
        return BlockError{"E205 Longitude value outside valid range"};
      at_ = next;
      keySeen_ = true;
      return AddPoint();
    }
    case kPositionsBlock: {
      if (!keySeen_) return BlockError{"E205 Missing key track position block"};
      if (p.empty() || p.size() % kPositionRecord != 0) return BlockError{"E205 Bad track position block length"};
      for (size_t r = 0; r < p.size(); r += kPositionRecord) {
        RawPosition next = at_;
        next.latitude += static_cast<int8_t>(p[r + 1]);
        next.longitude += static_cast<int8_t>(p[r + 2]);
        next.gpsAltitude += static_cast<int8_t>(p[r + 3]);
        next.pressure += static_cast<int8_t>(p[r + 4]);
        next.time += p[r + 5];
        // A step past the pole or the date line is a broken record, not a
        // position: it would wrap to the other side of the earth.
        if (next.latitude > kLatitudeLimit || next.latitude < -kLatitudeLimit)
          return BlockError{"E205 Latitude outside valid range"};
        if (next.longitude > kLongitudeLimit || next.longitude < -kLongitudeLimit)
          return BlockError{"E205 Longitude value outside valid range"};
        if (next.time < at_.time) return BlockError{"E205 Time outside valid range"};
        at_ = next;
        if (auto error = AddPoint()) return error;
      }
      return std::nullopt;
    }
    default:
      return BlockError{"E205 Unknown block"};
  }
}

}  // namespace skylode::flymaster
