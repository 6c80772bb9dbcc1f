// The binary blocks of a flight download and the track they describe.
//
// Every block is its identifier byte twice, a length byte L, L payload bytes
// and a checksum (L XOR every payload byte); the end of the flight is the
// identifier 0xA3 twice. A key block sets the whole position, a positions
// block moves it by small steps, one point per record.
#pragma once

#include <array>
#include <functional>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "records/track_log.h"

namespace skylode::flymaster {

inline constexpr uint8_t kFlightInfoBlock = 0xA0;
inline constexpr uint8_t kKeyPositionBlock = 0xA1;
inline constexpr uint8_t kPositionsBlock = 0xA2;
inline constexpr uint8_t kEndBlock = 0xA3;

inline constexpr size_t kFlightInfoMin = 63;
inline constexpr size_t kKeyPositionMin = 17;
inline constexpr size_t kPositionRecord = 6;

// 2000-01-01 on the program's time scale.
inline constexpr uint32_t kInstrumentEpoch = 315619200;
inline constexpr int32_t kLatitudeLimit = 5400000;    // 90 degrees in 1/60000
inline constexpr int32_t kLongitudeLimit = 10800000;  // 180 degrees

// kBadChecksum: the block came damaged (its checksum, or its two
// identifier bytes differ) and is to be asked for again.
enum class BlockResult { kIncomplete, kComplete, kBadChecksum };

class BlockDecoder {
 public:
  BlockResult Feed(uint8_t byte);
  void Reset() { *this = BlockDecoder{}; }

  uint8_t id() const { return id_; }
  // The payload of the last complete block.
  std::basic_string_view<uint8_t> payload() const { return {payload_.data(), length_}; }

 private:
  int state_ = 0;
  uint8_t id_ = 0;
  bool mismatched_ = false;
  uint8_t length_ = 0;
  size_t index_ = 0;
  uint8_t xor_ = 0;
  std::array<uint8_t, 255> payload_{};
};

struct FlightInfo {
  uint8_t firmwareMajor = 0;
  uint8_t firmwareMinor = 0;
  uint32_t serialNumber = 0;
  std::string competitionId;  // 7 characters as sent
  std::string civlId;         // B1 NAV only
};

// The instrument's position as the blocks move it.
struct RawPosition {
  int32_t latitude = 0;    // 1/60000 degree, north positive
  int32_t longitude = 0;   // 1/60000 degree, west positive
  int32_t gpsAltitude = 0; // metres
  int32_t pressure = 0;    // tenths of a hectopascal
  uint32_t time = 0;       // seconds since 2000-01-01
};

// What a block did to the flight: nothing wrong, or the message to show.
struct BlockError {
  std::string text;  // "E205 ..."
};

// Reads the blocks of one flight into points.
class FlightDecoder {
 public:
  // A complete block; an error ends the download.
  std::optional<BlockError> Apply(uint8_t id, std::basic_string_view<uint8_t> payload, bool b1Nav);

  bool flightInfoSeen() const { return info_.has_value(); }
  const std::optional<FlightInfo>& info() const { return info_; }
  std::vector<TrackPoint>& points() { return points_; }
  // Called for every point as it is added.
  void set_point_hook(std::function<void(const TrackPoint&, size_t)> hook) { hook_ = std::move(hook); }

 private:
  std::optional<BlockError> AddPoint();

  std::optional<FlightInfo> info_;
  bool keySeen_ = false;
  RawPosition at_;
  std::vector<TrackPoint> points_;
  std::function<void(const TrackPoint&, size_t)> hook_;
};

// The point a raw position stands for; nothing when its time does not fit
// the program's time scale.
std::optional<TrackPoint> ToTrackPoint(const RawPosition& p, bool first);
// Metres from tenths of a hectopascal, by the standard atmosphere.
int32_t PressureAltitude(int32_t pressure);
// Semicircles of a longitude value (west positive): 180 degrees either way is
// -2^31.
int32_t LongitudeSemicircles(int32_t value);

// The IDs text of the flight info ("  17   "): the number, or -1 when the
// text holds none.
int32_t ParseIdText(std::string_view text);

}  // namespace skylode::flymaster
