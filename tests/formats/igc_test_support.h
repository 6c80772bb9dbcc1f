// Fixtures shared by the IGC tests.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "formats/igc_writer.h"
#include "records/calendar.h"
#include "records/track_log.h"

namespace skylode::igc_test {

inline uint32_t At(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi, uint16_t s) {
  return *CalendarToTime(CalendarTime{y, mo, d, h, mi, s, 0});
}

// 47°03.501'N, the nearest semicircle value above 47°03.5005'.
inline constexpr int32_t kLat4703501 = 561427885;
// 8°00.000' exactly: 8 x 2^31 / 180 rounded.
inline constexpr int32_t kLon8Degrees = 95443718;

// A short flight across midnight UTC in all four hemisphere combinations.
inline std::vector<TrackPoint> FixtureTrack() {
  return {
      {1, At(2009, 7, 1, 23, 59, 50), kLat4703501, -kLon8Degrees, 12345, -12, 0.0f},
      {0, At(2009, 7, 2, 0, 0, 10), kLat4703501 + 2000, -kLon8Degrees + 1000, 12400, 1201, 1.5f},
      {0, At(2009, 7, 2, 0, 0, 30), -300000000, 1500000000, -3, 0, 400.0f},
      {0, At(2009, 7, 2, 0, 1, 0), -300001234, 1500004321, 9, 99999, -1.0f},
  };
}

inline IgcWriteOptions FixtureOptions() {
  IgcWriteOptions o;
  o.header.pilot = "Jane Doe";
  o.header.gliderType = "Alpha 7";
  o.header.gliderId = "D-1234";
  o.header.competitionClass = "Sport";
  o.header.site = "Valley";
  o.instrumentText = "Vario 5030 V3.2";
  o.frSerial = "AB1";
  o.downloadTime = CalendarTime{2009, 7, 2, 8, 15, 30, 0};
  o.gRecordValid = true;
  o.wantGRecord = true;
  return o;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace skylode::igc_test
