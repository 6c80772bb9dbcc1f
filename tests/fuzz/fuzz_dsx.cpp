// The flight list a DSX recorder sends, byte by byte: no input may crash
// the parser, its list stays within its room, and every flight it lists
// can be asked for.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "protocols/dsx/flight_list.h"

using namespace skylode::dsx;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FlightListParser parser;
  for (size_t i = 0; i < size; ++i) {
    const int r = parser.Feed(data[i]);
    if (r < 0) {
      if (r < -6) abort();
      break;
    }
    if (r != 1) abort();
  }
  if (parser.flights().size() > kFlightListMax) abort();
  for (const DsxFlight& f : parser.flights()) {
    if (f.number < 0 || f.number > 999 || f.records < 0) abort();
    if (FlightCommand(f.number).size() != 5) abort();
  }
  return 0;
}
