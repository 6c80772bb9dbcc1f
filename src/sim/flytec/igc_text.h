// The IGC text the virtual Flytec hands out for a flight: A record, header,
// one B record per point, and G records when the flight is signed.
#pragma once

#include <string>
#include <vector>

#include "records/track_log.h"

namespace skylode::sim {

struct SimFlight {
  // Times on the program's scale; heights as the records keep them (GPS in
  // decimetres, baro in metres). Positions are written to the thousandth of
  // a minute and heights to the metre, so finer values do not survive.
  std::vector<TrackPoint> points;
  std::string loggerId = "S01";  // three letters or digits
  std::string pilot = "Max Muster";
  std::string glider = "Advance Iota 2";
  bool signedFlight = true;  // ends with G records
};

// "DD.MM.YY", "HH:MM:SS" of the first point and "HH:MM:SS" of the duration,
// as the instrument's flight list shows them.
std::string FlightDate(const SimFlight& flight);
std::string FlightStart(const SimFlight& flight);
std::string FlightDuration(const SimFlight& flight);

// CR LF line ends throughout.
std::string BuildIgcText(const SimFlight& flight);

}  // namespace skylode::sim
