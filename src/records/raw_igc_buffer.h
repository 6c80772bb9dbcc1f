// IGC text exactly as an instrument delivered it.
#pragma once

#include <cstdint>
#include <string>

namespace skylode {

struct RawIgcBuffer {
  std::string text;          // not NUL-terminated in the files it came from
  uint32_t flightTime = 0;   // seconds since the epoch; "$date" on the command line
  std::string manufacturer;  // three-character IGC manufacturer code from the A record
  std::string loggerSerial;  // three-character logger serial from the A record

  size_t length() const { return text.size(); }
  bool empty() const { return text.empty(); }
  void clear() { *this = RawIgcBuffer{}; }
};

}  // namespace skylode
