// The instrument's $PBRWPS waypoint sentences, parsed byte by byte.
#pragma once

#include <cstdint>
#include <string>

#include "records/waypoint.h"

namespace skylode::flytec {

inline constexpr size_t kShortNameMax = 6;
inline constexpr size_t kLongNameMax = 17;

// One sentence's content.
struct FlytecWaypoint {
  double latitude = 0;   // radians, north positive
  double longitude = 0;  // radians, east positive
  std::string shortName;
  std::string longName;
  int32_t altitude = 0;  // metres
};

class WaypointSentenceParser {
 public:
  // 1: byte taken; 0: a sentence is complete (see waypoint()); negative: the
  // error number of "E302 Format error %".
  int Feed(uint8_t byte);
  const FlytecWaypoint& waypoint() const { return wp_; }
  // Past the sentence name: a waypoint has begun and is not complete.
  bool InSentence() const { return state_ > 1; }

 private:
  int EndCoordinate(bool longitude);

  int state_ = 0;
  size_t position_ = 0;
  uint8_t xor_ = 0;
  uint8_t received_ = 0;
  int32_t value_ = 0;
  double fraction_ = 0;
  double weight_ = 0;
  bool negative_ = false;
  FlytecWaypoint wp_;
};

// The program's Waypoint: identifier from the short name, else the long
// name's first word, else "Z"; name in upper case; symbol 18.
Waypoint ToWaypoint(const FlytecWaypoint& w, uint32_t time);

}  // namespace skylode::flytec
