// The instrument's $PBRWPS waypoint sentences.
#pragma once

#include <cstdint>
#include <string>

#include "access/sentence.h"
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

// Each $PBRWPS line is collected whole, checked and split by the shared
// sentence code, and then read field by field.
class WaypointSentenceParser {
 public:
  WaypointSentenceParser();
  // 1: byte taken; 0: a sentence is complete (see waypoint()); negative: the
  // error number of "E302 Format error %".
  int Feed(uint8_t byte);
  const FlytecWaypoint& waypoint() const { return wp_; }
  // Inside a $PBRWPS line: a waypoint has begun and is not complete.
  bool InSentence() const { return reader_.InSentence(); }

 private:
  int TakeLine();

  SentenceLineReader reader_;
  FlytecWaypoint wp_;
};

// The program's Waypoint: identifier from the short name, else the long
// name's first word, else "Z"; name in upper case; symbol 18.
Waypoint ToWaypoint(const FlytecWaypoint& w, uint32_t time);

}  // namespace skylode::flytec
