// The recorder's list of flights: "NNN recs n.RRRRRR" lines, read byte by
// byte as they arrive.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "access/transfer_context.h"
#include "protocols/dsx/link.h"

namespace skylode::dsx {

inline constexpr size_t kFlightListMax = 100;

struct DsxFlight {
  int number = 0;
  int32_t records = 0;
};

// One call per received byte: 1 when taken, or the negative error number of
// "E505 Format error %": 1 a flight number broken off, 2 no blank after its
// three digits, 3 not "recs n.", 4 a record count broken off, 5 something
// other than a blank or the line end after it, 6 a flight past the list's
// room. A line ending right after the record count leaves its entry open:
// the next line fills it.
class FlightListParser {
 public:
  int Feed(uint8_t byte);
  const std::vector<DsxFlight>& flights() const { return flights_; }

 private:
  int state_ = 0;
  int digits_ = 0;
  int32_t value_ = 0;
  size_t matched_ = 0;
  DsxFlight current_;
  std::vector<DsxFlight> flights_;
};

// "FL", then the list until the recorder falls silent. Fails when no flight
// was listed.
Step DsxReadFlightList(TransferContext& ctx, const DsxTiming& timing, std::vector<DsxFlight>& flights);

// "F007\r" for flight 7.
std::string FlightCommand(int number);

// Offers the flights latest first ("%03d       %d") and gives the chosen one.
// Cancelling fails without a message.
Step DsxSelectFlight(TransferContext& ctx, const std::vector<DsxFlight>& flights, DsxFlight& chosen);

}  // namespace skylode::dsx
