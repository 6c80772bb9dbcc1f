// The one loaded track log and its points.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "records/calendar.h"
#include "records/device_types.h"
#include "records/numeric.h"

namespace skylode {

inline constexpr uint32_t kTrackPointStartsSegment = 1u;
// The fix had no 3-D position: its GPS height was not measured. The point
// keeps the value the instrument gave (an IGC we write says the same), but
// nothing shown or analysed takes it as a height.
inline constexpr uint32_t kTrackPointNoGpsHeight = 2u;

// Seven 32-bit words in this order, so that an array of points is a flat block.
struct TrackPoint {
  uint32_t flags = 0;      // bit 0: starts a new track segment; bit 1: GPS height not measured
  uint32_t time = 0;       // seconds since 1989-12-31 00:00:00 UTC
  int32_t latitude = 0;    // semicircles
  int32_t longitude = 0;   // semicircles
  int32_t gpsHeight = 0;   // decimetres
  int32_t baroHeight = 0;  // whole metres, valid when the log has baro heights
  float depth = 0;         // metres
  friend bool operator==(const TrackPoint&, const TrackPoint&) = default;
};
static_assert(sizeof(TrackPoint) == 28, "TrackPoint is seven 32-bit words");

// GPS height in whole metres, rounded half away from zero.
inline int32_t GpsHeightMetres(const TrackPoint& p) { return DivRoundHalfAway(p.gpsHeight, 10); }

enum class TrackLogSource : int32_t {
  kFile = 0,
  kGarmin = 1,
  kMlrLeonardo = 2,
  kXcTrainer = 3,
  kLogIt = 4,
  kFlytec = 5,
  kGraviter = 6,
  kMagellan = 7,
  kFlymaster = 8,
  kDsx = 9,
  kMtk = 10,
  kIqBasic = 11,
};

inline constexpr size_t kInstrumentTextMax = 80;

struct TrackLog {
  std::vector<TrackPoint> points;
  TrackLogSource source = TrackLogSource::kFile;
  bool gRecordValid = false;
  bool sourceClassFlag = false;  // time stamps are real UTC times
  bool saved = false;
  bool hasBaroHeight = false;
  ProtocolType sourceProtocol = ProtocolType::kGarminSerial;
  std::string instrumentText;  // at most kInstrumentTextMax characters
  // The instrument's model ("Compeo+", "Garmin") and its identification
  // ("Compeo+:12345"), as the download found them; empty for files.
  std::string modelName;
  std::string identification;
  CalendarTime downloadTime{};
  // Per-flight extra data some instruments deliver beside the points (XC Trainer / Top Navigator).
  std::vector<uint8_t> extraData;
  // The pilot's IDs as the instrument recorded them with the flight, for the
  // competition's identification; -1 when it gave none.
  int32_t flightCompId = -1;
  int32_t flightCivlId = -1;

  int32_t count() const { return static_cast<int32_t>(points.size()); }
  bool empty() const { return points.empty(); }
};

// The log is no longer what its instrument delivered (its positions were
// changed): it counts as read from a file, names no instrument and is never
// signed.
void DetachFromInstrument(TrackLog& log);

struct TimeOrderResult {
  int32_t badPoints = 0;
  int32_t firstBadIndex = -1;  // 0-based; -1 when none
};

// Counts points whose time is below the largest time seen before them.
TimeOrderResult CheckTimeOrder(const TrackPoint* points, size_t count);
inline TimeOrderResult CheckTimeOrder(const std::vector<TrackPoint>& points) {
  return CheckTimeOrder(points.data(), points.size());
}

}  // namespace skylode

#include "records/raw_igc_buffer.h"

namespace skylode {

// Frees the points, the raw IGC text and the extra per-flight data of some
// instruments; keeps source, sourceClassFlag and sourceProtocol until the
// next log arrives.
void ClearTrackLog(TrackLog& log, RawIgcBuffer& raw);

}  // namespace skylode
